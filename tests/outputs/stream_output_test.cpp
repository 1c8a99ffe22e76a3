// A stream output's accounting: every message it takes ends either sent or
// counted as dropped, whether the reader stops reading, leaves before a
// flush, or leaves with bytes still waiting in the transport; and the
// backlog limit counts what the transport has not sent yet. A reader that
// vanishes loses what was sent and never acknowledged, counted.

#include "outputs/stream_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>

#include "pipeline/forwarding.h"

namespace {

// A transport in memory: written bytes wait until the test lets the reader
// take some of them.
class Pipe : public StreamOutput {
 public:
  explicit Pipe(std::size_t limit) : StreamOutput(limit) {}
  std::string DropReason() const override { return "client not reading"; }

  bool open = true;
  bool failWrite = false;
  std::string waiting;  // in the transport, not sent yet
  std::string received;
  std::size_t notAcknowledged = 0;  // the tail of `received` the reader has not acknowledged
  std::function<void()> onWrite;

  void Send(std::size_t n) {
    received += waiting.substr(0, n);
    waiting.erase(0, n);
  }

 protected:
  bool Open() const override { return open; }
  std::size_t Unsent() const override { return waiting.size(); }
  std::size_t Unacknowledged(bool) override { return waiting.size() + notAcknowledged; }
  void Write(const std::string& bytes) override {
    if (onWrite) onWrite();
    if (failWrite) throw std::runtime_error("send failed");
    waiting += bytes;
  }
};

// Offers a message whose record is `record` to `out`.
MessageOutput::Delivery Offer(StreamOutput& out, const std::string& record) {
  static const ForwardedMessage forwarded;
  static std::uint64_t sequence = 0;
  return out.Take({forwarded, record, 0.0, 0, 0, false, ++sequence});
}

const std::string kA(100, 'a'), kB(100, 'b'), kC(100, 'c'), kD(100, 'd');

}  // namespace

TEST(StreamOutput, AFlushAfterTheReaderLeftCountsTheBatchAsDropped) {
  Pipe out(1 << 20);
  for (const auto& r : {kA, kB, kC}) EXPECT_EQ(Offer(out, r), MessageOutput::Delivery::Kept);
  out.open = false;
  out.Flush();
  EXPECT_EQ(out.waiting, "");
  EXPECT_EQ(out.Kept(), 0u);
  EXPECT_EQ(out.Dropped(), 3u);

  // The next reader gets what came after it connected, nothing older.
  out.open = true;
  Offer(out, kD);
  out.Flush();
  EXPECT_EQ(out.waiting, kD);
  EXPECT_EQ(out.Kept(), 1u);
  EXPECT_EQ(out.Dropped(), 3u);
}

TEST(StreamOutput, AWriteThatRaisesLosesItsBatchCounted) {
  Pipe out(1 << 20);
  Offer(out, kA);
  Offer(out, kB);
  out.failWrite = true;
  EXPECT_THROW(out.Flush(), std::runtime_error);
  EXPECT_EQ(out.Kept(), 0u);
  EXPECT_EQ(out.Dropped(), 2u);

  out.failWrite = false;
  Offer(out, kC);
  out.Flush();
  EXPECT_EQ(out.waiting, kC) << "the failed batch does not go out in front of later records";
  EXPECT_EQ(out.Kept(), 1u);
  EXPECT_EQ(out.Dropped(), 2u);
}

// Three records written, a fourth taken: closing loses each record whose
// last byte the transport still holds, and the one never written.
TEST(StreamOutput, ClosingCountsEveryRecordNotWhollySentAsDropped) {
  struct Case {
    std::size_t sent;
    std::uint64_t dropped;
  };
  for (const Case c :
       {Case{0, 4}, Case{99, 4}, Case{100, 3}, Case{101, 3}, Case{199, 3}, Case{200, 2}, Case{299, 2}, Case{300, 1}}) {
    Pipe out(1 << 20);
    for (const auto& r : {kA, kB, kC}) Offer(out, r);
    out.Flush();
    Offer(out, kD);
    out.Send(c.sent);
    out.Close();
    EXPECT_EQ(out.Dropped(), c.dropped) << c.sent << " bytes sent";
    EXPECT_EQ(out.Kept(), 4 - c.dropped) << c.sent << " bytes sent";
  }
}

TEST(StreamOutput, ClosingCountsEveryRecordSentButNotAcknowledgedAsDropped) {
  struct Case {
    std::size_t notAcknowledged;
    std::uint64_t dropped;
  };
  for (const Case c : {Case{0, 0}, Case{1, 1}, Case{100, 1}, Case{101, 2}, Case{300, 3}, Case{400, 4}}) {
    Pipe out(1 << 20);
    for (const auto& r : {kA, kB}) Offer(out, r);
    out.Flush();
    out.Send(200);
    out.notAcknowledged = std::min<std::size_t>(c.notAcknowledged, 200);
    // A record taken meanwhile does not let the unacknowledged ones go.
    for (const auto& r : {kC, kD}) Offer(out, r);
    out.Flush();
    out.Send(200);
    out.notAcknowledged = c.notAcknowledged;
    out.Close();
    EXPECT_EQ(out.Dropped(), c.dropped) << c.notAcknowledged << " bytes not acknowledged";
    EXPECT_EQ(out.Kept(), 4 - c.dropped) << c.notAcknowledged << " bytes not acknowledged";
  }
}

TEST(StreamOutput, BytesOnTheirWayDoNotCountTowardsTheBacklogLimit) {
  // 300 bytes sent and not acknowledged, a limit of 200: a living reader
  // that acknowledges late loses nothing for it.
  Pipe out(200);
  for (const auto& r : {kA, kB, kC}) {
    EXPECT_EQ(Offer(out, r), MessageOutput::Delivery::Kept);
    out.Flush();
    out.Send(100);
    out.notAcknowledged += 100;
  }
  EXPECT_EQ(Offer(out, kD), MessageOutput::Delivery::Kept);
  EXPECT_EQ(Offer(out, kA), MessageOutput::Delivery::Kept) << "200 bytes wait: at the limit";
  EXPECT_EQ(Offer(out, kB), MessageOutput::Delivery::Dropped) << "one record past it";
}

TEST(StreamOutput, ClosingTwiceCountsOnceAndTheNextConnectionStartsAfresh) {
  Pipe out(1 << 20);
  Offer(out, kA);
  Offer(out, kB);
  out.Flush();
  out.Send(100);
  out.Close();
  out.Close();
  EXPECT_EQ(out.Dropped(), 1u);
  EXPECT_EQ(out.Kept(), 1u);

  // The transport threw the rest away with the connection; a new one.
  out.waiting.clear();
  Offer(out, kC);
  Offer(out, kD);
  out.Flush();
  out.Send(200);
  out.Close();
  EXPECT_EQ(out.Dropped(), 1u);
  EXPECT_EQ(out.Kept(), 3u);
}

TEST(StreamOutput, ARecordWithOneByteUnsentIsNotSent) {
  Pipe out(1 << 20);
  Offer(out, kA);
  Offer(out, kB);
  out.Flush();
  out.Send(99);
  Offer(out, kC);  // looks at the transport again
  out.Close();
  EXPECT_EQ(out.Dropped(), 3u);
  EXPECT_EQ(out.Kept(), 0u);
}

TEST(StreamOutput, ARecordSentOnAnEarlierConnectionIsNeverCountedLost) {
  Pipe out(1 << 20);
  Offer(out, kA);
  Offer(out, kB);
  out.Flush();
  out.Send(100);
  out.Close();
  EXPECT_EQ(out.Dropped(), 1u);
  // The next connection begins with more bytes of the transport's owner
  // than this output ever wrote.
  out.waiting = std::string(250, 'x');
  Offer(out, kC);
  out.Flush();
  out.Close();
  EXPECT_EQ(out.Dropped(), 2u) << "B and C";
  EXPECT_EQ(out.Kept(), 1u) << "A";
}

TEST(StreamOutput, BytesOthersWroteBeforeOursDelayOurs) {
  for (const std::size_t sent : {std::size_t{50}, std::size_t{149}, std::size_t{150}}) {
    Pipe out(1 << 20);
    out.waiting = std::string(50, 'x');  // written to the transport by its owner
    Offer(out, kA);
    out.Flush();
    out.Send(sent);
    out.Close();
    EXPECT_EQ(out.Dropped(), sent < 150 ? 1u : 0u) << sent;
  }
}

TEST(StreamOutput, AReaderFoundGoneLosesWhatTheTransportStillHolds) {
  Pipe out(1 << 20);
  Offer(out, kA);
  Offer(out, kB);
  out.Flush();
  out.Send(100);
  out.open = false;  // the connection was shut; the transport kept B
  EXPECT_EQ(Offer(out, kC), MessageOutput::Delivery::NotWanted);
  EXPECT_EQ(out.Dropped(), 1u);
  EXPECT_EQ(out.Kept(), 1u);
  EXPECT_EQ(Offer(out, kD), MessageOutput::Delivery::NotWanted);
  EXPECT_EQ(out.Dropped(), 1u) << "counted once";
}

TEST(StreamOutput, ClosedFromInsideItsOwnWriteCountsTheBatchOnce) {
  // A send that fails makes the socket's owner close the client from inside
  // the write.
  Pipe out(1 << 20);
  Offer(out, kA);
  out.Flush();
  Offer(out, kB);
  Offer(out, kC);
  out.onWrite = [&] { out.Close(); };
  out.failWrite = true;
  EXPECT_THROW(out.Flush(), std::runtime_error);
  EXPECT_EQ(out.Dropped(), 3u);
  EXPECT_EQ(out.Kept(), 0u);
}

TEST(StreamOutput, AReaderThatStaysStoppedReachesTheLimitAcrossFlushes) {
  Pipe out(300);
  // One record per flush: what waits in the transport counts.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Offer(out, kA), MessageOutput::Delivery::Kept) << i;
    out.Flush();
  }
  EXPECT_EQ(out.waiting.size(), 300u) << "exactly the limit";
  EXPECT_EQ(Offer(out, kB), MessageOutput::Delivery::Dropped);
  out.Send(1);
  EXPECT_EQ(Offer(out, kB), MessageOutput::Delivery::Dropped) << "one byte over the limit";
  out.Send(99);
  EXPECT_EQ(Offer(out, kB), MessageOutput::Delivery::Kept);
  EXPECT_EQ(out.Dropped(), 2u);
  EXPECT_EQ(out.Kept(), 4u);
}

TEST(StreamOutput, ARecordLargerThanTheLimitGoesWhenNothingWaits) {
  Pipe out(300);
  EXPECT_EQ(Offer(out, std::string(301, 'L')), MessageOutput::Delivery::Kept);
  EXPECT_EQ(Offer(out, "s"), MessageOutput::Delivery::Dropped);
  out.Flush();
  EXPECT_EQ(Offer(out, "s"), MessageOutput::Delivery::Dropped);
  out.Send(301);
  out.waiting = "w";  // one byte waits
  EXPECT_EQ(Offer(out, std::string(300, 'm')), MessageOutput::Delivery::Dropped);
  EXPECT_EQ(Offer(out, std::string(299, 'm')), MessageOutput::Delivery::Kept);
  EXPECT_EQ(out.Dropped(), 3u);
  EXPECT_EQ(out.Kept(), 2u);
}
