// Duplicate suppression in the router: a message equal to one forwarded in
// the last N seconds, from any input, goes to no output; it is counted for
// the input it came from and logged. The router's clock is the test's.

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

#include "pipeline/acars_json.h"
#include "router/message_router.h"

namespace {

std::string DecoderText(const std::string& blockId, const std::string& content) {
  return "ACARS mode: 2 Aircraft reg: .D-ABCD\r\nMessage label: H1 Block id: " + blockId +
         " Msg. no: M12A\r\nFlight id: XY012A\r\nMessage content:-\r\n" + content +
         "\r\n------------------------[ 1 ]\r\n";
}

// Keeps every record it is offered.
class Collector : public MessageOutput {
 public:
  std::vector<std::string> records;
  Delivery Take(const PreparedMessage& message) override {
    records.emplace_back(message.Record);
    return Delivery::Kept;
  }
  void Flush() override {}
  std::uint64_t Dropped() const override { return 0; }
  std::string DropReason() const override { return ""; }
};

class Events : public RouterEvents {
 public:
  std::uint64_t now = 50'000;
  std::vector<std::string> logs, logged, shown;
  void ShowLatest(const Latest& latest) override {
    if (latest.Display) shown.push_back(*latest.Display);
  }
  void MessageDropped(const MessageOutput&, std::uint64_t) override {}
  bool LogEnabled() override { return true; }
  void Log(const std::string& description, const std::string& message) override {
    logs.push_back(description);
    logged.push_back(message);
  }
  void ReportError(const char*, std::exception_ptr) override { ADD_FAILURE() << "a step raised"; }
  bool RequestFlush() override { return false; }
  std::uint64_t NowMs() override { return now; }
};

struct DuplicateRouterTest : ::testing::Test {
  Events events;
  MessageRouter router{events};
  std::size_t skyspy = router.AddInput("SkySpy", DecoderSource::SkySpy);
  std::size_t posfix = router.AddInput("Posfix", DecoderSource::AirNavPosfix);
  std::size_t json = router.AddInput("udp:5550", DecoderSource::AirNavPosfix);
  Collector out;
  void SetUp() override { router.AddOutput(out); }
};

}  // namespace

TEST_F(DuplicateRouterTest, OffByDefault) {
  router.Submit(DecoderText("3", "POSITION REPORT"), skyspy);
  router.Submit(DecoderText("3", "POSITION REPORT"), posfix);
  EXPECT_EQ(out.records.size(), 2u) << "the stream as the decoders give it";
  EXPECT_EQ(router.Counters(posfix).Duplicates, 0u);
}

TEST_F(DuplicateRouterTest, TheSameTextFromTwoDecodersGoesOnce) {
  router.SetDuplicateSeconds(10);
  router.Submit(DecoderText("3", "POSITION REPORT"), skyspy);
  router.Submit(DecoderText("3", "POSITION REPORT"), posfix);
  ASSERT_EQ(out.records.size(), 1u);
  EXPECT_EQ(out.records[0][12], 0) << "the first one, from SkySpy, went";
  EXPECT_EQ(router.Counters(skyspy).Forwarded, 1u);
  EXPECT_EQ(router.Counters(skyspy).Duplicates, 0u);
  EXPECT_EQ(router.Counters(posfix).Received, 1u);
  EXPECT_EQ(router.Counters(posfix).Forwarded, 0u);
  EXPECT_EQ(router.Counters(posfix).Duplicates, 1u) << "counted for the input it came from";
  EXPECT_EQ(router.Counters(posfix).Filtered, 0u);
  ASSERT_EQ(events.logs.size(), 2u);
  EXPECT_EQ(events.logs[1], "duplicate Message from Posfix: forwarded within the last 10 s");
  EXPECT_NE(events.logged[1].find("POSITION REPORT"), std::string::npos);

  // The same input twice is a duplicate too: a decoder that repeats itself.
  router.Submit(DecoderText("3", "POSITION REPORT"), skyspy);
  EXPECT_EQ(out.records.size(), 1u);
  EXPECT_EQ(router.Counters(skyspy).Duplicates, 1u);
}

// The decoder's text ends with the line end it prints after the last line;
// the JSON feed's text has none. Either may come first.
TEST_F(DuplicateRouterTest, TheSameMessageFromADecoderAndAJsonFeedGoesOnce) {
  router.SetDuplicateSeconds(10);
  const auto parsed =
      MessageFromJson(R"({"timestamp":1765190400.25,"freq":131.725,"channel":0,"mode":"2","label":"H1","block_id":"3",)"
                      R"("ack":false,"tail":"D-ABCD","flight":"XY012A","msgno":"M12A","text":"POSITION\r\nFL370"})",
                      DecoderSource::AirNavPosfix);
  ASSERT_TRUE(parsed.Message);
  router.Submit(DecoderText("3", "POSITION\r\nFL370"), skyspy);
  router.SubmitParsed(*parsed.Message, json);
  EXPECT_EQ(out.records.size(), 1u);
  EXPECT_EQ(router.Counters(json).Duplicates, 1u);

  events.now += 10'000;
  router.SubmitParsed(*parsed.Message, json);
  router.Submit(DecoderText("3", "POSITION\r\nFL370"), posfix);
  EXPECT_EQ(out.records.size(), 2u);
  EXPECT_EQ(router.Counters(json).Forwarded, 1u);
  EXPECT_EQ(router.Counters(posfix).Duplicates, 1u);
}

TEST_F(DuplicateRouterTest, ADifferentBlockIdIsNoDuplicate) {
  router.SetDuplicateSeconds(10);
  router.Submit(DecoderText("3", "POSITION REPORT"), skyspy);
  router.Submit(DecoderText("4", "POSITION REPORT"), posfix);
  EXPECT_EQ(out.records.size(), 2u);
  EXPECT_EQ(router.Counters(posfix).Duplicates, 0u);
}

TEST_F(DuplicateRouterTest, AfterNSecondsTheSameMessageIsForwardedAgain) {
  router.SetDuplicateSeconds(10);
  router.Submit(DecoderText("3", "POSITION REPORT"), skyspy);
  events.now += 9'999;
  router.Submit(DecoderText("3", "POSITION REPORT"), posfix);
  EXPECT_EQ(out.records.size(), 1u) << "within the window";
  events.now += 1;
  router.Submit(DecoderText("3", "POSITION REPORT"), posfix);
  EXPECT_EQ(out.records.size(), 2u) << "10 s after the first";
  EXPECT_EQ(router.Counters(posfix).Forwarded, 1u);
  EXPECT_EQ(router.Counters(posfix).Duplicates, 1u);
}

// Only a forwarded message makes its twins duplicates: a copy that no
// output took (no client connected) leaves the next copy its chance.
TEST_F(DuplicateRouterTest, ACopyNoOutputTookMakesNoDuplicates) {
  router.SetDuplicateSeconds(10);
  router.RemoveOutput(out);
  router.Submit(DecoderText("3", "POSITION REPORT"), skyspy);
  router.AddOutput(out);
  router.Submit(DecoderText("3", "POSITION REPORT"), posfix);
  EXPECT_EQ(out.records.size(), 1u);
  EXPECT_EQ(router.Counters(posfix).Forwarded, 1u);
  EXPECT_EQ(router.Counters(skyspy).Duplicates + router.Counters(posfix).Duplicates, 0u);
}

// Filtered texts never count as forwarded, so their twins are filtered too,
// not counted as duplicates; the window shows the duplicate's original only.
TEST_F(DuplicateRouterTest, FilteredTextsAreNoDuplicatesAndDuplicatesAreNotShown) {
  router.SetDuplicateSeconds(10);
  const std::string hf =
      "ACARS mode: 2 Aircraft reg: .D-ABCD\r\nMessage label: HF Block id: 3 Msg. no: 0000\r\nFlight id: ZZ0000\r\n"
      "Message content:-\r\nHF\r\n------------------------[ 1 ]\r\n";
  router.Submit(hf, skyspy);
  router.Submit(hf, posfix);
  EXPECT_EQ(router.Counters(posfix).Filtered, 1u);
  EXPECT_EQ(router.Counters(posfix).Duplicates, 0u);

  router.Submit(DecoderText("3", "POSITION REPORT"), skyspy);
  const std::size_t shown = events.shown.size();
  router.Submit(DecoderText("3", "POSITION REPORT"), posfix);
  EXPECT_EQ(events.shown.size(), shown) << "nothing new to show";
}
