// The router's rules without any window or socket: one send per pass of the
// message loop, order under re-entrant arrival, the batching limit,
// whole-record drops per output, and that no failing step stops the
// forwarding.

#include "router/message_router.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "outputs/stream_output.h"
#include "pipeline/frame_reader.h"

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
  std::uint64_t step = 0;  // milliseconds that pass between two looks at the clock
  bool logOn = true;
  bool promiseFlush = true;  // the program can post itself the flush
  int flushRequests = 0;
  std::function<void()> onShow;
  bool failDropReport = false, failLog = false;

  void ShowLatest(const Latest& latest) override {
    shown.push_back(latest);
    if (onShow) onShow();
  }
  void MessageDropped(const MessageOutput&, std::uint64_t total) override {
    ++dropEvents;
    lastTotal = total;
    if (failDropReport) throw std::runtime_error("panel failed");
  }
  bool LogEnabled() override { return logOn; }
  void Log(const std::string& description, const std::string&) override {
    logs.push_back(description);
    if (failLog) throw std::runtime_error("log failed");
  }
  void ReportError(const char* where, std::exception_ptr error) override {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      errors.push_back(std::string(where) + ": " + e.what());
    }
  }
  bool RequestFlush() override {
    ++flushRequests;
    return promiseFlush;
  }
  std::uint64_t NowMs() override { return now += step; }
};

struct RouterTest : ::testing::Test {
  Observer events;
  MessageRouter router{events};
  std::size_t skyspy = router.AddInput("SkySpy", DecoderSource::SkySpy);
  std::size_t posfix = router.AddInput("Posfix", DecoderSource::AirNavPosfix);
  // What the message loop does when it comes to the router's request.
  void LoopPass() {
    if (events.flushRequests > flushesDone) {
      flushesDone = events.flushRequests;
      router.Flush();
    }
  }
  int flushesDone = 0;
};

}  // namespace

TEST_F(RouterTest, TextsWaitingInTheLoopGoInOneSendAndLaterOnesAfterIt) {
  MemoryStream out(1 << 20);
  router.AddOutput(out);
  router.Submit(Downlink("M0"), skyspy);
  // Nothing is sent before the loop's pass: the texts that wait in the
  // queue meanwhile are prepared first and join the same send.
  EXPECT_TRUE(out.writes.empty());
  router.Submit(Downlink("M1"), posfix);
  router.Submit(Downlink("M2"), skyspy);
  EXPECT_EQ(events.flushRequests, 1) << "one request per send";

  // A text arrives while the send is being written: it goes after it.
  out.onWrite = [&] {
    if (out.writes.empty()) router.Submit(Downlink("DURING WRITE"), skyspy);
  };
  LoopPass();
  EXPECT_EQ(out.writes.size(), 1u);
  EXPECT_EQ(Contents(out.stream), (std::vector<std::string>{"M0", "M1", "M2"}));
  EXPECT_EQ(events.flushRequests, 2);
  router.Submit(Downlink("M3"), posfix);
  LoopPass();

  EXPECT_EQ(Contents(out.stream), (std::vector<std::string>{"M0", "M1", "M2", "DURING WRITE", "M3"}));
  EXPECT_EQ(out.writes.size(), 2u);
  EXPECT_FALSE(router.Forwarding());
  EXPECT_TRUE(events.errors.empty());
  EXPECT_EQ(router.Counters(skyspy).Forwarded, 3u);
  EXPECT_EQ(router.Counters(posfix).Forwarded, 2u);
}

TEST_F(RouterTest, AFloodGoesOutInPiecesOfTheBatchLimitWithoutWaitingForTheLoop) {
  MemoryStream out(16 << 20);
  router.AddOutput(out);
  const std::string big(5000, 'x');
  router.Submit(Downlink("FIRST"), skyspy);
  for (int i = 1; i <= 40; ++i) router.Submit(Downlink("B" + std::to_string(i) + " " + big), skyspy);
  // About 200 KB came before the loop's pass: all but the last piece went.
  ASSERT_GE(out.writes.size(), 3u);
  for (const std::size_t size : out.writes) {
    EXPECT_GE(size, MessageRouter::kBatchBytes);
    EXPECT_LT(size, MessageRouter::kBatchBytes + 6000);
  }
  LoopPass();
  EXPECT_EQ(Contents(out.stream).size(), 41u);
  EXPECT_LE(out.writes.size(), 41u * 5100 / MessageRouter::kBatchBytes + 1);
}

TEST_F(RouterTest, AProgramThatCannotPostTheFlushGetsItAtOnce) {
  MemoryStream out(1 << 20);
  router.AddOutput(out);
  events.promiseFlush = false;
  router.Submit(Downlink("NOW"), skyspy);
  EXPECT_EQ(Contents(out.stream), (std::vector<std::string>{"NOW"}));
  events.promiseFlush = true;
  router.Submit(Downlink("LATER"), skyspy);
  EXPECT_EQ(out.writes.size(), 1u);
  LoopPass();
  EXPECT_EQ(Contents(out.stream), (std::vector<std::string>{"NOW", "LATER"}));
}

TEST_F(RouterTest, EachOutputDropsWholeRecordsPastItsOwnLimitAndCountsThem) {
  MemoryStream slow(20000), fast(1 << 20);
  slow.holdBack = true;  // its reader takes nothing
  router.AddOutput(slow);
  router.AddOutput(fast);
  const std::string big(3000, 'y');
  for (int i = 0; i < 20; ++i) router.Submit(Downlink("R" + std::to_string(i) + " " + big), skyspy);
  LoopPass();

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
  LoopPass();
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
  LoopPass();
  EXPECT_FALSE(router.Forwarding());
  router.Submit(Downlink("TWO"), skyspy);
  LoopPass();
  failing.failFlush = false;
  router.Submit(Downlink("THREE"), skyspy);
  LoopPass();

  EXPECT_EQ(Contents(good.stream), (std::vector<std::string>{"ONE", "TWO", "THREE"}));
  EXPECT_EQ(failing.takes, 3);
  EXPECT_EQ(events.errors, (std::vector<std::string>{"SendMsg: take failed", "SendMsg: display failed",
                                                     "SendMsg: flush failed", "SendMsg: flush failed"}));
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
  events.step = 10;  // preparing a text takes 10 ms
  // Fifty texts arrive during one send: the router works through them in
  // one go, telling the window about every 100 ms and at the end.
  out.onWrite = [&] {
    if (out.writes.size() > 0) return;
    for (int i = 1; i <= 50; ++i) router.Submit(Downlink("N" + std::to_string(i)), skyspy);
  };
  router.Submit(Downlink("N0"), skyspy);
  const std::size_t before = events.shown.size();
  LoopPass();
  const std::size_t during = events.shown.size() - before;
  EXPECT_GE(during, 3u);
  EXPECT_LE(during, 12u);
  ASSERT_TRUE(events.shown.back().Display.has_value());
  EXPECT_NE(events.shown.back().Display->find("N50"), std::string::npos);
  LoopPass();
  EXPECT_EQ(Contents(out.stream).size(), 51u);
}

TEST_F(RouterTest, EachInputCountsTheDropsOfItsOwnMessages) {
  MemoryStream slow(1), fast(1 << 20);
  slow.holdBack = true;  // its reader takes nothing: one record waits, every later one is dropped
  router.AddOutput(slow);
  router.AddOutput(fast);
  router.Submit(Downlink("S1"), skyspy);
  LoopPass();
  router.Submit(Downlink("S2"), skyspy);
  router.Submit(Downlink("P1"), posfix);
  router.Submit(Downlink("P2"), posfix);
  router.Submit(Downlink("P3"), posfix);
  LoopPass();
  EXPECT_EQ(slow.Dropped(), 4u);
  EXPECT_EQ(router.Counters(skyspy).Dropped, 1u);
  EXPECT_EQ(router.Counters(posfix).Dropped, 3u);
  EXPECT_EQ(router.Counters(skyspy).Forwarded, 2u) << "the other output took them";
  EXPECT_EQ(router.Counters(posfix).Forwarded, 3u);
  EXPECT_EQ(router.TotalDropped(), 4u);
}

// The drop's report and its log entry are the program's; one that raises
// must not keep the message from the outputs after the one that dropped it.
TEST_F(RouterTest, ADropReportOrLogThatRaisesHidesTheMessageFromNoOtherOutput) {
  for (const bool failLog : {false, true}) {
    Observer events;
    MessageRouter router{events};
    const std::size_t input = router.AddInput("SkySpy", DecoderSource::SkySpy);
    MemoryStream slow(1), fast(1 << 20);
    slow.holdBack = true;
    router.AddOutput(slow);
    router.AddOutput(fast);
    events.promiseFlush = false;
    events.failDropReport = !failLog;
    events.failLog = failLog;
    events.logOn = true;
    router.Submit(Downlink("ONE"), input);
    router.Submit(Downlink("TWO"), input);
    router.Submit(Downlink("THREE"), input);
    EXPECT_EQ(Contents(fast.stream), (std::vector<std::string>{"ONE", "TWO", "THREE"})) << failLog;
    EXPECT_EQ(Contents(slow.stream), (std::vector<std::string>{"ONE"})) << failLog;
    EXPECT_EQ(slow.Dropped(), 2u);
    EXPECT_EQ(router.Counters(input).Forwarded, 3u) << failLog;
    EXPECT_EQ(router.Counters(input).Dropped, 2u) << failLog;
    EXPECT_EQ(events.dropEvents, 2u) << failLog;
    const std::string error = failLog ? "SendMsg: log failed" : "SendMsg: panel failed";
    EXPECT_EQ(std::count(events.errors.begin(), events.errors.end(), error), failLog ? 5 : 2) << failLog;
  }
}

TEST_F(RouterTest, TheDisplayKeepsItsPaceAcrossTheFortyNinthDayOfTicks) {
  MemoryStream out(16 << 20);
  router.AddOutput(out);
  events.now = (std::uint64_t{1} << 32) - 500;  // milliseconds since start: a 32-bit count wraps here
  events.step = 10;
  out.onWrite = [&] {
    if (out.writes.size() > 0) return;
    for (int i = 1; i <= 100; ++i) router.Submit(Downlink("W" + std::to_string(i)), skyspy);
  };
  router.Submit(Downlink("W0"), skyspy);
  const std::size_t before = events.shown.size();
  LoopPass();
  // A clock reading per text at 10 ms each: a second, so about ten shows,
  // as on the first day.
  const std::size_t during = events.shown.size() - before;
  EXPECT_GE(during, 8u);
  EXPECT_LE(during, 14u);
  EXPECT_GT(events.now, std::uint64_t{1} << 32);
}

// Messages an output lost after taking them count in the total like the
// ones it refused.
TEST_F(RouterTest, MessagesLostAfterTheyWereTakenCountInTheTotal) {
  MemoryStream out(1 << 20), other(1 << 20);
  router.AddOutput(out);
  router.AddOutput(other);
  router.Submit(Downlink("ONE"), skyspy);
  router.Submit(Downlink("TWO"), posfix);
  out.open = false;  // the reader left before the loop's pass
  LoopPass();
  EXPECT_EQ(out.Dropped(), 2u);
  EXPECT_EQ(out.Kept(), 0u);
  EXPECT_EQ(router.TotalDropped(), 2u);
  EXPECT_EQ(events.dropEvents, 1u);
  EXPECT_EQ(events.lastTotal, 2u);
  EXPECT_EQ(Contents(other.stream), (std::vector<std::string>{"ONE", "TWO"}));

  // A reader that stopped reading drops the next one as before, counted once.
  MemoryStream slow(1);
  slow.holdBack = true;
  router.AddOutput(slow);
  router.Submit(Downlink("THREE"), skyspy);
  LoopPass();
  router.Submit(Downlink("FOUR"), skyspy);
  EXPECT_EQ(slow.Dropped(), 1u);
  EXPECT_EQ(router.TotalDropped(), 3u);
  EXPECT_EQ(events.dropEvents, 2u);
  EXPECT_EQ(events.lastTotal, 3u);
  EXPECT_EQ(router.Counters(skyspy).Dropped, 1u) << "only the refused one is known to be of this input";

  // Taken off and put back, an output's earlier drops are not counted again.
  router.RemoveOutput(out);
  router.AddOutput(out);
  out.open = true;
  router.Submit(Downlink("FIVE"), skyspy);
  LoopPass();
  EXPECT_EQ(router.TotalDropped(), 4u) << "FIVE dropped by the slow one";
  EXPECT_EQ(events.dropEvents, 3u);
}
