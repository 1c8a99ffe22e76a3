#include "web/status_json.h"

#include <nlohmann/json.hpp>

#include "web/health.h"

namespace {

using nlohmann::json;

json When(const std::optional<double>& at) {
  return at ? json(*at) : json(nullptr);
}

json When(const std::map<std::string, double>& times, const std::string& name) {
  const auto at = times.find(name);
  return at == times.end() ? json(nullptr) : json(at->second);
}

json Inputs(const StatusSnapshot& s) {
  json inputs = json::array();
  for (std::size_t i = 0; i < s.Stats.Sources.size(); ++i) {
    const Statistics::Source& source = s.Stats.Sources[i];
    const bool decoder = i < s.Decoders;
    std::string state = decoder ? (source.Linked ? (source.Silent ? "linked, silent" : "linked") : "not linked") : "";
    for (const Statistics::Feed& feed : s.Stats.Feeds) {
      if (!decoder && feed.Input && feed.Name == source.Name) state = feed.State;
    }
    inputs.push_back({{"name", source.Name},
                      {"kind", decoder ? "decoder" : "json"},
                      {"state", state},
                      {"linked", source.Linked},
                      {"received", source.Received},
                      {"forwarded", source.Forwarded},
                      {"filtered", source.Filtered},
                      {"duplicates", source.Duplicates},
                      {"notRead", source.NotRead},
                      {"dropped", source.Dropped},
                      {"lastMessageAt", When(source.LastMessageAt)},
                      {"perMinute", source.PerMinute}});
  }
  return inputs;
}

json Outputs(const StatusSnapshot& s) {
  json outputs = json::array();
  for (const Statistics::Feed& feed : s.Stats.Feeds) {
    if (feed.Input) continue;
    outputs.push_back({{"name", feed.Name},
                       {"state", feed.State},
                       {"up", FeedIsUp(feed.State)},
                       {"sent", feed.Count},
                       {"dropped", feed.Lost},
                       {"lastSendAt", When(s.OutputLastSendAt, feed.Name)},
                       {"downSince", When(s.OutputDownSince, feed.Name)}});
  }
  return outputs;
}

}  // namespace

std::string StatusJson(const StatusSnapshot& s) {
  json clients = json::array();
  for (const Statistics::Client& c : s.Stats.Clients) {
    clients.push_back(
        {{"address", c.Name}, {"connectedSince", c.ConnectedSince}, {"sent", c.Sent}, {"dropped", c.Dropped}});
  }
  json reports = json::array();
  for (const StatusSnapshot::Report& r : s.Reports) reports.push_back(r.Text);
  json messages = json::array();
  for (const StatusSnapshot::Message& m : s.Recent) {
    messages.push_back({{"at", m.At},
                        {"source", m.Source},
                        {"registration", m.Registration},
                        {"flight", m.Flight},
                        {"label", m.Label},
                        {"text", m.Text}});
  }
  const HealthVerdict health = Health(s);
  const json status{{"version", s.Version},
                    {"settingsFile", s.SettingsFile},
                    {"startedAt", s.StartedAt},
                    {"now", s.Now},
                    {"health", {{"status", health.Ok() ? "ok" : "degraded"}, {"problems", health.Problems}}},
                    {"clientPort",
                     {{"listening", s.ClientPortListening},
                      {"sent", s.ClientPortSent},
                      {"dropped", s.ClientPortDropped},
                      {"clients", clients}}},
                    {"inputs", Inputs(s)},
                    {"outputs", Outputs(s)},
                    {"reports", reports},
                    {"messages", messages}};
  return status.dump(-1, ' ', false, json::error_handler_t::replace);
}
