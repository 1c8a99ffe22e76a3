#pragma once
// The snapshot in Prometheus' text format (version 0.0.4): each metric once
// with its HELP and TYPE lines, then its samples; counters end in _total;
// label values escaped. No platform header.

#include <string>

#include "web/status_snapshot.h"

inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

std::string MetricsText(const StatusSnapshot& snapshot);

// A label value as the format writes it between quotes: backslash, double
// quote and line feed escaped.
std::string EscapeLabelValue(const std::string& value);
