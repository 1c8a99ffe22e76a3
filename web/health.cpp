#include "web/health.h"

#include <nlohmann/json.hpp>

HealthVerdict Health(const StatusSnapshot& s) {
  HealthVerdict verdict;
  if (!s.ClientPortListening) verdict.Problems.push_back("the client port is not listening");
  for (std::size_t i = 0; i < s.Decoders && i < s.Stats.Sources.size(); ++i) {
    const Statistics::Source& decoder = s.Stats.Sources[i];
    if (decoder.Linked && decoder.Silent) verdict.Problems.push_back(decoder.Name + " is linked but silent");
  }
  for (const StatusSnapshot::Report& report : s.Reports) {
    if (report.Key.What == ReportKey::Kind::TextsEmpty) verdict.Problems.push_back(report.Text);
  }
  if (s.CaptureCannotWrite) verdict.Problems.push_back("the capture cannot write");
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
