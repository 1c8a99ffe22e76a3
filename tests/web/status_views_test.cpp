// What the page, the metrics and the health check make of a snapshot: the
// Prometheus text (each metric once, escaped labels), the health verdict at
// each of its bounds, the status JSON with hostile and broken texts, and
// the last messages the router prepared.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "support/decoder_texts.h"
#include "support/router_fakes.h"
#include "web/health.h"
#include "web/metrics_text.h"
#include "web/recent_messages.h"
#include "web/status_json.h"
#include "web/status_page.h"

namespace {

Statistics::Source Source(const char* name, bool linked, std::uint64_t received, std::uint64_t forwarded) {
  Statistics::Source source;
  source.Name = name;
  source.Linked = linked;
  source.Received = received;
  source.Forwarded = forwarded;
  return source;
}

// Two decoders (one linked), a JSON input and a JSON output, two clients.
StatusSnapshot Station() {
  StatusSnapshot s;
  s.Version = "1.31";
  s.SettingsFile = "C:\\ACARS\\TolvanDDE.ini";
  s.StartedAt = 1765190000;
  s.Now = 1765190400;
  s.ClientPortListening = true;
  s.Decoders = 2;
  s.ClientPortSent = 9;
  s.ClientPortDropped = 1;
  s.ResidentBytes = 5 << 20;
  s.Stats.Sources = {Source("SkySpy", true, 7, 5), Source("Airmaster", false, 0, 0), Source("udp:5555", true, 4, 4)};
  s.Stats.Sources[0].Filtered = 1;
  s.Stats.Sources[0].LastMessageAt = 1765190399.5;
  s.Stats.Sources[0].NotRead = 2;
  s.Stats.Sources[0].Duplicates = 1;
  s.Stats.Clients = {{"127.0.0.1:50000", 1765190300, 6, 0}, {"127.0.0.1:50001", 1765190350, 3, 1}};
  s.Stats.Feeds = {{"udp:5555", true, "listening", 4, 0}, {"tcp:10.0.0.2:5556", false, "connected", 8, 2}};
  s.OutputLastSendAt["tcp:10.0.0.2:5556"] = 1765190398.25;
  return s;
}

std::string Sample(const std::string& text, const std::string& series) {
  const auto at = text.find("\n" + series + " ");
  if (at == std::string::npos) return "(none)";
  const auto start = at + series.size() + 2;
  return text.substr(start, text.find('\n', start) - start);
}

}  // namespace

TEST(MetricsText, EveryMetricOnceWithItsSamples) {
  const std::string text = MetricsText(Station());
  const struct {
    const char* Series;
    const char* Value;
  } samples[] = {
      {R"(tolvan_messages_received_total{input="SkySpy"})", "7"},
      {R"(tolvan_messages_received_total{input="udp:5555"})", "4"},
      {R"(tolvan_messages_forwarded_total{input="SkySpy"})", "5"},
      {R"(tolvan_messages_filtered_total{input="SkySpy"})", "1"},
      {R"(tolvan_messages_duplicate_total{input="SkySpy"})", "1"},
      {R"(tolvan_messages_not_read_total{input="SkySpy"})", "2"},
      {R"(tolvan_messages_sent_total{output="client port"})", "9"},
      {R"(tolvan_messages_dropped_total{output="client port"})", "1"},
      {R"(tolvan_messages_sent_total{output="tcp:10.0.0.2:5556"})", "8"},
      {R"(tolvan_messages_dropped_total{output="tcp:10.0.0.2:5556"})", "2"},
      {R"(tolvan_output_up{output="client port"})", "1"},
      {R"(tolvan_output_up{output="tcp:10.0.0.2:5556"})", "1"},
      {R"(tolvan_decoder_linked{decoder="SkySpy"})", "1"},
      {R"(tolvan_decoder_linked{decoder="Airmaster"})", "0"},
      {"tolvan_clients_connected", "2"},
      {R"(tolvan_last_message_timestamp_seconds{input="SkySpy"})", "1765190399.500"},
      {R"(tolvan_output_last_send_timestamp_seconds{output="tcp:10.0.0.2:5556"})", "1765190398.250"},
      {R"(tolvan_build_info{version="1.31"})", "1"},
      {"process_resident_memory_bytes", "5242880"},
      {"process_start_time_seconds", "1765190000.000"},
  };
  for (const auto& s : samples) EXPECT_EQ(Sample(text, s.Series), s.Value) << s.Series;
  // The JSON input is no decoder; a source without a message has no time.
  EXPECT_EQ(Sample(text, R"(tolvan_decoder_linked{decoder="udp:5555"})"), "(none)");
  EXPECT_EQ(Sample(text, R"(tolvan_last_message_timestamp_seconds{input="Airmaster"})"), "(none)");
  // Each metric's HELP and TYPE once, before its samples.
  const std::regex type(R"(# TYPE (\w+) (counter|gauge)\n)");
  int metrics = 0;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), type); it != std::sregex_iterator(); ++it, ++metrics) {
    const std::string name = (*it)[1];
    EXPECT_EQ(text.find("# TYPE " + name + " "), text.rfind("# TYPE " + name + " ")) << name;
    EXPECT_EQ(text.find("# HELP " + name + " "), text.rfind("# HELP " + name + " ")) << name;
    EXPECT_TRUE((*it)[2] != "counter" || name.ends_with("_total")) << name;
  }
  EXPECT_EQ(metrics, 15);
}

TEST(MetricsText, LabelValuesAreEscaped) {
  EXPECT_EQ(EscapeLabelValue("plain"), "plain");
  EXPECT_EQ(EscapeLabelValue("a\"b\\c\nd"), "a\\\"b\\\\c\\nd");
  StatusSnapshot s = Station();
  s.Stats.Sources[2].Name = "tcp:\"x\"\n";
  EXPECT_NE(MetricsText(s).find(R"(tolvan_messages_received_total{input="tcp:\"x\"\n"} 4)"), std::string::npos);
}

TEST(Health, EachProblemAndItsBound) {
  const struct {
    const char* Case;
    std::function<void(StatusSnapshot&)> Change;
    const char* Problem;  // empty: ok
  } cases[] = {
      {"a working station", [](StatusSnapshot&) {}, ""},
      {"port not listening", [](StatusSnapshot& s) { s.ClientPortListening = false; },
       "the client port is not listening"},
      {"linked and silent", [](StatusSnapshot& s) { s.Stats.Sources[0].Silent = true; }, "SkySpy is linked but silent"},
      {"silent but not linked", [](StatusSnapshot& s) { s.Stats.Sources[1].Silent = true; }, ""},
      {"a JSON input that is silent is no decoder", [](StatusSnapshot& s) { s.Stats.Sources[2].Silent = true; }, ""},
      {"texts empty",
       [](StatusSnapshot& s) {
         s.Reports.push_back({{ReportKey::Kind::TextsEmpty, 0}, "SkySpy: texts empty"});
       },
       "SkySpy: texts empty"},
      {"capture cannot write", [](StatusSnapshot& s) { s.CaptureCannotWrite = true; }, "the capture cannot write"},
      {"a capture report while it writes",
       [](StatusSnapshot& s) {
         s.Reports.push_back({{ReportKey::Kind::Capture}, "Capture: writing C:\\x again"});
       },
       ""},
      {"output down 60 s", [](StatusSnapshot& s) { s.OutputDownSince["tcp:h:1"] = s.Now - 60; }, ""},
      {"output down 61 s", [](StatusSnapshot& s) { s.OutputDownSince["tcp:h:1"] = s.Now - 61; },
       "JSON output tcp:h:1 down for 61 s"},
  };
  for (const auto& c : cases) {
    StatusSnapshot s = Station();
    c.Change(s);
    const HealthVerdict verdict = Health(s);
    const std::string problem = c.Problem;
    EXPECT_EQ(verdict.Ok(), problem.empty()) << c.Case;
    if (problem.empty()) {
      EXPECT_EQ(HealthJson(verdict), R"({"status":"ok"})") << c.Case;
    } else {
      EXPECT_EQ(HealthJson(verdict), R"({"status":"degraded","problems":[)" + nlohmann::json(problem).dump() + "]}")
          << c.Case;
    }
  }
}

TEST(Health, AnOutputKeepsTheTimeItWentDownAndTheTimeItLastSent) {
  const std::string tcp = "tcp:10.0.0.2:5556";
  StatusSnapshot first = Station();
  first.Stats.Feeds[1].State = "retrying in 5 s: refused";
  first.Stats.Feeds.push_back({"udp:10.0.0.3:5557", false, "sending", 0, 0});
  CarryOutputTimes(first, StatusSnapshot{});
  EXPECT_EQ(first.OutputDownSince.at(tcp), first.Now);
  EXPECT_EQ(first.OutputLastSendAt.at(tcp), first.Now);  // it had sent before the first snapshot
  EXPECT_FALSE(first.OutputLastSendAt.contains("udp:10.0.0.3:5557"));
  StatusSnapshot later = first;
  later.Now += 61;
  CarryOutputTimes(later, first);
  EXPECT_EQ(Health(later).Problems, std::vector<std::string>{"JSON output " + tcp + " down for 61 s"});
  EXPECT_EQ(later.OutputLastSendAt.at(tcp), first.Now);
  StatusSnapshot back = later;
  back.Now += 1;
  back.Stats.Feeds[1].State = "connected";
  back.Stats.Feeds[1].Count = 9;
  CarryOutputTimes(back, later);
  EXPECT_TRUE(back.OutputDownSince.empty());
  EXPECT_TRUE(Health(back).Ok());
  EXPECT_EQ(back.OutputLastSendAt.at(tcp), back.Now);
  EXPECT_FALSE(back.OutputLastSendAt.contains("udp:10.0.0.3:5557"));
}

TEST(StatusJson, TextsAreDataAndBrokenBytesAreReplaced) {
  StatusSnapshot s = Station();
  s.Reports = {{{ReportKey::Kind::Silence, 0}, "SkySpy silent"}};
  s.Recent = {{1765190399, "SkySpy", ".G-EUPT", "BA0286", "H1", "<img src=x onerror=alert(1)><script>x()</script>"},
              {1765190398, "Airmaster", ".D-ABCD", "", "5Z", std::string("caf\xe9", 4)}};
  const auto json = nlohmann::json::parse(StatusJson(s));
  EXPECT_EQ(json["messages"][0]["text"], "<img src=x onerror=alert(1)><script>x()</script>");
  EXPECT_EQ(json["messages"][1]["text"], "caf\xef\xbf\xbd");
  EXPECT_EQ(json["messages"][0]["source"], "SkySpy");
  EXPECT_EQ(json["inputs"].size(), 3u);
  EXPECT_EQ(json["inputs"][0]["kind"], "decoder");
  EXPECT_EQ(json["inputs"][0]["lastMessageAt"], 1765190399.5);
  EXPECT_TRUE(json["inputs"][1]["lastMessageAt"].is_null());
  EXPECT_EQ(json["inputs"][2]["kind"], "json");
  EXPECT_EQ(json["inputs"][2]["state"], "listening");
  EXPECT_EQ(json["inputs"][0]["perMinute"].size(), 60u);
  EXPECT_EQ(json["outputs"].size(), 1u);
  EXPECT_EQ(json["outputs"][0]["sent"], 8);
  EXPECT_EQ(json["outputs"][0]["lastSendAt"], 1765190398.25);
  EXPECT_TRUE(json["outputs"][0]["downSince"].is_null());
  EXPECT_EQ(json["clientPort"]["clients"].size(), 2u);
  EXPECT_EQ(json["reports"], nlohmann::json({"SkySpy silent"}));
  EXPECT_EQ(json["health"]["status"], "ok");
  EXPECT_EQ(json["settingsFile"], "C:\\ACARS\\TolvanDDE.ini");
}

TEST(StatusPage, ItsAddressForThisPcsBrowser) {
  EXPECT_EQ(StatusPageUrl("127.0.0.1", 8221), "http://127.0.0.1:8221/");
  EXPECT_EQ(StatusPageUrl("0.0.0.0", 80), "http://127.0.0.1:80/");
  EXPECT_EQ(StatusPageUrl("192.168.1.5", 8080), "http://192.168.1.5:8080/");
}

TEST_F(RouterTest, RecentMessagesKeepsTheNewestFiftyAndWantsNone) {
  RecentMessages recent(router);
  router.AddOutput(recent);
  for (int i = 1; i <= 50; ++i) router.Submit(Downlink("M" + std::to_string(i)), i % 2 ? skyspy : posfix);
  ASSERT_EQ(recent.Newest().size(), RecentMessages::kKept);
  EXPECT_EQ(recent.Newest().back().Text, "M1\r\n") << "at the limit, the first is still kept";
  router.Submit(Downlink("M51"), skyspy);
  const auto kept = recent.Newest();
  ASSERT_EQ(kept.size(), RecentMessages::kKept);
  EXPECT_EQ(kept.front().Text, "M51\r\n");
  EXPECT_EQ(kept.front().Source, "SkySpy");
  EXPECT_EQ(kept.front().Registration, ".G-EUPT");
  EXPECT_EQ(kept.front().Flight, "BA0286");
  EXPECT_EQ(kept.front().Label, "H1");
  EXPECT_EQ(kept[1].Source, "Posfix");
  EXPECT_EQ(kept.back().Text, "M2\r\n") << "the 51st pushed out the first";
  // Alone among the outputs it takes nothing: nothing counts as forwarded.
  EXPECT_EQ(router.Counters(skyspy).Forwarded, 0u);
  EXPECT_EQ(router.Counters(skyspy).Received, 26u);
  RecentMessages none(router);
  EXPECT_TRUE(none.Newest().empty());
}
