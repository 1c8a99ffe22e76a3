#pragma once
// The health check's verdict on a snapshot: "ok", or "degraded" with the
// problems that make it so. Uptime monitors and container health checks
// read it: 200 for ok, 503 for degraded. No platform header.

#include <string>
#include <vector>

#include "web/status_snapshot.h"

struct HealthVerdict {
  std::vector<std::string> Problems;  // empty: ok
  bool Ok() const { return Problems.empty(); }
};

// A JSON output down longer than this makes the bridge degraded.
inline constexpr double kOutputDownSeconds = 60;

// Degraded when the client port is not listening, a linked decoder is
// silent past the silence setting or its texts arrive empty, a JSON output
// has been down for more than kOutputDownSeconds, or the capture cannot
// write.
HealthVerdict Health(const StatusSnapshot& snapshot);

// {"status":"ok"} or {"status":"degraded","problems":[...]}.
std::string HealthJson(const HealthVerdict& verdict);
