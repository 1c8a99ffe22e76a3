// The router's rules without any window or socket: one send per pass of the
// message loop, order under re-entrant arrival, the batching limit, what the
// window is told and when.

#include "router/message_router.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/decoder_texts.h"
#include "support/router_fakes.h"

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
