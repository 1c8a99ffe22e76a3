// The router's drops and failures without any window or socket: whole-record
// drops per output and their counts, and that no failing step stops the
// forwarding.

#include "router/message_router.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/decoder_texts.h"
#include "support/router_fakes.h"

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

  // Lost after the last pass, as the output goes: counted as it is taken off.
  const std::uint64_t droppedBefore = out.Dropped();
  out.unsent = out.stream.size();  // its transport sent nothing of FIVE
  out.Close();
  ASSERT_EQ(out.Dropped(), droppedBefore + 1);
  router.RemoveOutput(out);
  EXPECT_EQ(router.TotalDropped(), 5u);
  EXPECT_EQ(events.lastTotal, 5u);
}
