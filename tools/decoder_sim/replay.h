#pragma once
// A capture file made ready for replay: each decoder text goes to the DDE
// service of the decoder it came from, each JSON object to UDP, each at its
// offset from the first. No platform header: tested natively.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ReplayStep {
  std::int64_t AtMicros = 0;  // after the capture's first record
  std::string Service;        // the DDE service of a decoder text; empty: a JSON object for UDP
  std::string Bytes;          // the text, or the object, as it came

  bool operator==(const ReplayStep&) const = default;
};

struct ReplayPlan {
  std::vector<ReplayStep> Steps;
  std::vector<std::string> Services;  // those the texts need, in the order they first come
  std::size_t Objects = 0;
  std::size_t Skipped = 0;   // lines that hold no record to replay
  std::string FirstSkipped;  // the first of them: "line 2: not JSON"
};

// The DDE service of the decoder an input of the bridge is named after
// ("Airmaster" is "WinACARS"); a service's own name is itself; empty for any
// other input (a JSON feed's).
std::string ServiceOfInput(const std::string& input);

// Reads a capture (one JSON line a record; blank lines are skipped). A line
// that holds no record (one a power cut or a full disk cut short), or a text
// from an input that is no decoder, is skipped and counted, and the rest is
// read on.
ReplayPlan ReadReplay(std::string_view capture);

// When a step is due at `speed` times the captured pace; 0: at once.
std::int64_t DueMicros(const ReplayStep& step, double speed);
