#include "replay.h"

#include <algorithm>
#include <array>
#include <utility>

#include "capture/capture_line.h"

std::string ServiceOfInput(const std::string& input) {
  // The bridge's name of each decoder input, and the service it links to.
  static const std::array<std::pair<const char*, const char*>, 4> kDecoders = {{
      {"SkySpy", "SkySpy"},
      {"Airmaster", "WinACARS"},
      {"AirNav", "ANAD"},
      {"Posfix", "POSFIX"},
  }};
  for (const auto& [name, service] : kDecoders) {
    if (input == name || input == service) return service;
  }
  return {};
}

ReplayPlan ReadReplay(std::string_view capture) {
  ReplayPlan plan;
  std::int64_t first = 0;
  std::size_t number = 0;
  for (std::size_t at = 0; at < capture.size();) {
    const std::size_t end = std::min(capture.find('\n', at), capture.size());
    std::string_view line = capture.substr(at, end - at);
    at = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    std::string why;
    const auto record = ParseCaptureLine(line, why);
    const std::string service =
        record && record->Type == CaptureRecord::Kind::Text ? ServiceOfInput(record->Input) : std::string();
    const bool noDecoder = record && record->Type == CaptureRecord::Kind::Text && service.empty();
    if (noDecoder) {
      why = "a text from \"" + record->Input + "\", which is no decoder (SkySpy, Airmaster, AirNav, Posfix)";
    }
    if (!record || noDecoder) {
      if (plan.Skipped++ == 0) plan.FirstSkipped = "line " + std::to_string(number) + ": " + why;
      continue;
    }
    if (plan.Steps.empty()) first = record->Micros;
    ReplayStep step{record->Micros - first, service, record->Content};
    if (record->Type == CaptureRecord::Kind::Text) {
      if (std::find(plan.Services.begin(), plan.Services.end(), step.Service) == plan.Services.end()) {
        plan.Services.push_back(step.Service);
      }
    } else {
      ++plan.Objects;
    }
    plan.Steps.push_back(std::move(step));
  }
  return plan;
}

std::int64_t DueMicros(const ReplayStep& step, double speed) {
  if (speed <= 0) return 0;
  return static_cast<std::int64_t>(static_cast<double>(step.AtMicros) / speed);
}
