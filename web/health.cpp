#include "web/health.h"

#include <nlohmann/json.hpp>

namespace {

// The capture's report stands also when it writes again; only this one
// says that it cannot.
constexpr const char* kCaptureFails = "Capture: cannot write";

}  // namespace

HealthVerdict Health(const StatusSnapshot& s) {
  HealthVerdict verdict;
  if (!s.ClientPortListening) verdict.Problems.push_back("the client port is not listening");
  for (std::size_t i = 0; i < s.Decoders && i < s.Stats.Sources.size(); ++i) {
    const Statistics::Source& decoder = s.Stats.Sources[i];
    if (decoder.Linked && decoder.Silent) verdict.Problems.push_back(decoder.Name + " is linked but silent");
  }
  for (const StatusSnapshot::Report& report : s.Reports) {
    const bool capture = report.Key.What == ReportKey::Kind::Capture && report.Text.rfind(kCaptureFails, 0) == 0;
    if (report.Key.What == ReportKey::Kind::TextsEmpty || capture) verdict.Problems.push_back(report.Text);
  }
  for (const auto& [name, since] : s.OutputDownSince) {
    const double seconds = s.Now - since;
    if (seconds > kOutputDownSeconds) {
      verdict.Problems.push_back("JSON output " + name + " down for " +
                                 std::to_string(static_cast<long long>(seconds)) + " s");
    }
  }
  return verdict;
}

std::string HealthJson(const HealthVerdict& verdict) {
  nlohmann::ordered_json json{{"status", verdict.Ok() ? "ok" : "degraded"}};
  if (!verdict.Ok()) json["problems"] = verdict.Problems;
  return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}
