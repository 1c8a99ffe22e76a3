// The router's rules without any window or socket: order under re-entrant
// arrival, the batching limit, whole-record drops per output, and that no
// failing step stops the forwarding.

#include "message_router.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame_reader.h"
#include "stream_output.h"

namespace {

std::string Downlink(const std::string& content) {
  return "ACARS mode: 2 Aircraft reg: .G-EUPT\r\nMessage label: H1 Block id: 4 Msg. no: M01A\r\nFlight id: BA0286"
         "\r\nMessage content:-\r\n" +
         content + "\r\n------------------------[ 2 ]\r\n";
}

// The contents of the records in a byte stream, in order; fails the test on
// a stream that is not whole records.
std::vector<std::string> Contents(const std::string& stream) {
  RecordReader reader;
  reader.Feed(stream);
  std::vector<std::string> out;
  while (auto r = reader.Next()) {
    const auto f = ParseFrameText(r->Frame);
    EXPECT_TRUE(f.has_value());
    if (f) out.push_back(f->Text.substr(0, f->Text.find('\r')));
  }
  EXPECT_TRUE(reader.Error().empty()) << reader.Error();
  EXPECT_EQ(reader.Buffered(), 0u) << "a record was cut";
  return out;
}

// A byte stream in memory: `unsent` bytes stay "in the transport" until the
// test lets them go, as with a client that stops reading.
class MemoryStream : public StreamOutput {
 public:
  explicit MemoryStream(std::size_t limit) : StreamOutput(limit) {}
  std::string DropReason() const override { return "client not reading"; }

  bool open = true;
  bool holdBack = false;  // keep written bytes as unsent
  std::size_t unsent = 0;
  std::string stream;
  std::vector<std::size_t> writes;
  std::function<void()> onWrite;

 protected:
  bool Open() const override { return open; }
  std::size_t Unsent() const override { return unsent; }
  void Write(const std::string& bytes) override {
    if (onWrite) onWrite();
    stream += bytes;
    writes.push_back(bytes.size());
    if (holdBack) unsent += bytes.size();
  }
};

class Observer : public RouterEvents {
 public:
  std::vector<Latest> shown;
  std::vector<std::string> logs;
  std::vector<std::string> errors;
  std::uint64_t dropEvents = 0, lastTotal = 0;
  std::uint64_t now = 1000;
  bool logOn = true;
  std::function<void()> onPump;
  std::function<void()> onShow;

  void ShowLatest(const Latest& latest) override {
    shown.push_back(latest);
    if (onShow) onShow();
  }
  void MessageDropped(const MessageOutput&, std::uint64_t total) override {
    ++dropEvents;
    lastTotal = total;
  }
  bool LogEnabled() override { return logOn; }
  void Log(const std::string& description, const std::string&) override { logs.push_back(description); }
  void ReportError(const char* where, std::exception_ptr error) override {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      errors.push_back(std::string(where) + ": " + e.what());
    }
  }
  void Pump() override {
    if (onPump) onPump();
  }
  std::uint64_t NowMs() override { return now; }
};

struct RouterTest : ::testing::Test {
  Observer events;
  MessageRouter router{events};
  std::size_t skyspy = router.AddInput("SkySpy", DecoderSource::SkySpy);
  std::size_t posfix = router.AddInput("Posfix", DecoderSource::AirNavPosfix);
};

}  // namespace

TEST_F(RouterTest, TextsArrivingDuringASendGoOutAfterItInOrder) {
  MemoryStream out(1 << 20);
  router.AddOutput(out);
  // Each pass of the message loop delivers two more texts, which the
  // router must queue behind the send in progress; one of them arrives
  // while the next batch is being written.
  int next = 1;
  events.onPump = [&] {
    if (next > 6) return;
    router.Submit(Downlink("M" + std::to_string(next++)), skyspy);
    router.Submit(Downlink("M" + std::to_string(next++)), posfix);
  };
  out.onWrite = [&] {
    if (next == 3) router.Submit(Downlink("DURING WRITE"), skyspy);
  };
  router.Submit(Downlink("M0"), skyspy);

  EXPECT_EQ(Contents(out.stream), (std::vector<std::string>{"M0", "M1", "M2", "DURING WRITE", "M3", "M4", "M5", "M6"}));
  EXPECT_FALSE(router.Forwarding());
  EXPECT_TRUE(events.errors.empty());
  EXPECT_EQ(router.Counters(skyspy).Forwarded, 5u);
  EXPECT_EQ(router.Counters(posfix).Forwarded, 3u);
}

TEST_F(RouterTest, QueuedTextsGoOutTogetherUpToTheBatchLimit) {
  MemoryStream out(16 << 20);
  router.AddOutput(out);
  const std::string big(5000, 'x');
  bool delivered = false;
  events.onPump = [&] {
    if (delivered) return;
    delivered = true;
    for (int i = 1; i <= 40; ++i) router.Submit(Downlink("B" + std::to_string(i) + " " + big), skyspy);
  };
  router.Submit(Downlink("FIRST"), skyspy);

  // The lone first text goes alone; the forty queued ones go in as few
  // writes as the limit allows, each of whole records.
  ASSERT_GE(out.writes.size(), 3u);
  EXPECT_EQ(Contents(out.stream).size(), 41u);
  EXPECT_EQ(out.writes.size(), 1u + 4u) << "40 records of about 5 KB in batches of 64 KB";
  for (std::size_t i = 1; i < out.writes.size(); ++i) {
    EXPECT_LT(out.writes[i], MessageRouter::kBatchBytes + 6000) << "write " << i;
  }
}

TEST_F(RouterTest, EachOutputDropsWholeRecordsPastItsOwnLimitAndCountsThem) {
  MemoryStream slow(20000), fast(1 << 20);
  slow.holdBack = true;  // its reader takes nothing
  router.AddOutput(slow);
  router.AddOutput(fast);
  const std::string big(3000, 'y');
  for (int i = 0; i < 20; ++i) router.Submit(Downlink("R" + std::to_string(i) + " " + big), skyspy);

  const auto fastRecords = Contents(fast.stream);
  const auto slowRecords = Contents(slow.stream);
  EXPECT_EQ(fastRecords.size(), 20u);
  EXPECT_EQ(fast.Dropped(), 0u);
  // The slow one keeps as many whole records as fit in 20000 bytes (the
  // first always), then drops every later one.
  ASSERT_FALSE(slowRecords.empty());
  EXPECT_LE(slow.stream.size(), 20000u);
  EXPECT_EQ(slowRecords.size() + slow.Dropped(), 20u);
  EXPECT_GT(slow.Dropped(), 0u);
  for (std::size_t i = 0; i < slowRecords.size(); ++i) EXPECT_EQ(slowRecords[i], fastRecords[i]);
  EXPECT_EQ(router.TotalDropped(), slow.Dropped());
  EXPECT_EQ(events.dropEvents, slow.Dropped());
  EXPECT_EQ(events.lastTotal, slow.Dropped());
  const std::string lastDropLog = "dropped Message: client not reading, " + std::to_string(slow.Dropped()) + " dropped";
  EXPECT_NE(std::find(events.logs.begin(), events.logs.end(), lastDropLog), events.logs.end());

  // Its reader catches up: later records reach it again.
  slow.unsent = 0;
  router.Submit(Downlink("AFTER"), skyspy);
  EXPECT_EQ(Contents(slow.stream).back(), "AFTER");
}

TEST_F(RouterTest, AnOutputThatRaisesStopsNeitherTheOthersNorLaterMessages) {
  struct Failing : MessageOutput {
    int takes = 0;
    bool failFlush = true;
    Delivery Take(const PreparedMessage&) override {
      if (++takes == 1) throw std::runtime_error("take failed");
      return Delivery::Kept;
    }
    void Flush() override {
      if (failFlush) throw std::runtime_error("flush failed");
    }
    std::uint64_t Dropped() const override { return 0; }
    std::string DropReason() const override { return "never"; }
  } failing;
  MemoryStream good(1 << 20);
  router.AddOutput(failing);
  router.AddOutput(good);
  events.onShow = [&] {
    if (events.shown.size() == 1) throw std::runtime_error("display failed");
  };

  router.Submit(Downlink("ONE"), skyspy);
  EXPECT_FALSE(router.Forwarding());
  router.Submit(Downlink("TWO"), skyspy);
  failing.failFlush = false;
  router.Submit(Downlink("THREE"), skyspy);

  EXPECT_EQ(Contents(good.stream), (std::vector<std::string>{"ONE", "TWO", "THREE"}));
  EXPECT_EQ(failing.takes, 3);
  EXPECT_EQ(events.errors, (std::vector<std::string>{"SendMsg: take failed", "SendMsg: flush failed",
                                                     "SendMsg: display failed", "SendMsg: flush failed"}));
  EXPECT_FALSE(router.Forwarding());
}

TEST_F(RouterTest, FiltersCountAndTheWindowSeesWhatWasShownAndSent) {
  MemoryStream out(1 << 20);
  router.AddOutput(out);
  router.Submit("short", skyspy);
  router.Submit("Message label: HF Block id: 1 Msg. no: 0000\r\nFlight id: \r\nMessage content:-\r\nHF DATA;", posfix);
  EXPECT_TRUE(out.stream.empty());
  EXPECT_EQ(router.Counters(skyspy).Filtered, 1u);
  EXPECT_EQ(router.Counters(posfix).Filtered, 1u);
  EXPECT_EQ(events.logs, (std::vector<std::string>{"not send Message"}));
  EXPECT_TRUE(events.shown.empty());

  // No reader: the message is shown, not sent, not logged as forwarded.
  out.open = false;
  router.Submit(Downlink("UNSENT"), skyspy);
  ASSERT_EQ(events.shown.size(), 1u);
  EXPECT_TRUE(events.shown[0].Display.has_value());
  EXPECT_FALSE(events.shown[0].Panels.has_value());
  EXPECT_EQ(router.Counters(skyspy).Forwarded, 0u);
  EXPECT_EQ(router.Counters(skyspy).Received, 2u);

  out.open = true;
  router.Submit(Downlink("SENT"), skyspy);
  ASSERT_EQ(events.shown.size(), 2u);
  ASSERT_TRUE(events.shown[1].Panels.has_value());
  EXPECT_EQ(events.shown[1].Panels->first, ".G-EUPT");
  EXPECT_EQ(events.shown[1].Panels->second, "BA0286");
  EXPECT_EQ(events.logs.back().substr(0, 15), ".G-EUPT BA0286\r");
  EXPECT_EQ(router.Counters(skyspy).Forwarded, 1u);
  EXPECT_TRUE(router.Counters(skyspy).LastMessageAt.has_value());
}

TEST_F(RouterTest, DuringABurstTheWindowIsToldAFewTimesASecondAndAlwaysAtTheEnd) {
  MemoryStream out(16 << 20);
  router.AddOutput(out);
  int pumped = 0;
  events.onPump = [&] {
    if (pumped >= 50) return;
    ++pumped;
    events.now += 10;  // each pass of the loop takes 10 ms
    router.Submit(Downlink("N" + std::to_string(pumped)), skyspy);
  };
  router.Submit(Downlink("N0"), skyspy);
  // 51 messages over 500 ms: about one display every 100 ms, and the last.
  EXPECT_GE(events.shown.size(), 4u);
  EXPECT_LE(events.shown.size(), 7u);
  ASSERT_TRUE(events.shown.back().Display.has_value());
  EXPECT_NE(events.shown.back().Display->find("N50"), std::string::npos);
}
