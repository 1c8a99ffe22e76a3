// The program under load from its clients: one that stops reading, five
// hundred that come and go, one that sends garbage, several at once with a
// slow one among them. Real sockets on loopback, bounded in count and time.

#include <windows.h>
#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/decoder_texts.h"
#include "support/program_fixture.h"
#include "support/temp_working_dir.h"
#include "ui/app_ids.h"

using namespace app;

using Reliability = InTempWorkingDir;

TEST_F(Reliability, ClientThatStopsReadingLosesWholeMessagesOnly) {
  const std::string big(5000, 'x');
  const std::wstring feed = WriteFeed({Downlink("SEQ {seq} " + big), Downlink("SEQ {seq} " + big + "y")});
  DecoderSimulator sim(L"--feed " + feed + L" --count 2000 --wait-links 4 --quiet", true);
  ASSERT_TRUE(sim.Ready());
  Program p;
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));

  // One byte a second while the decoders push (the program runs on this
  // thread: the test pumps its messages in between).
  sim.Start();
  std::string slow;
  for (int second = 0; second < 4; ++second) {
    PumpFor(1000);  // the reader's pace: a byte a second
    char byte;
    if (recv(client.s, &byte, 1, 0) == 1) slow += byte;
  }
  EXPECT_EQ(sim.Wait(), 0);
  // The drops reach the status bar.
  EXPECT_TRUE(PumpUntil([&] { return p.Panel(4) == "Dropped " + std::to_string(p.bridge.Router().TotalDropped()); }));
  const std::uint64_t dropped = p.bridge.Router().TotalDropped();
  EXPECT_GT(dropped, 0u);
  EXPECT_EQ(p.Panel(4), "Dropped " + std::to_string(dropped));

  // Reading again: every record that was not dropped arrives whole.
  client.raw = slow;
  client.reader.Feed(slow);
  const std::size_t expected = 2000 - dropped;
  ASSERT_TRUE(client.WaitRecords(expected, 60000)) << client.records.size() << " of " << expected;
  p.bridge.Links().Box(DecoderLinks::SkySpyIn).SetText(Downlink("SEQ 999999 AFTER"));
  ASSERT_TRUE(client.WaitRecords(expected + 1));
  EXPECT_TRUE(client.reader.Error().empty());
  int last = -1;
  for (const Record& r : client.records) {
    ASSERT_TRUE(ParseFrameText(r.Frame));
    const int seq = SequenceOf(r);
    EXPECT_GT(seq, last);
    last = seq;
  }
  EXPECT_EQ(last, 999999);
}

TEST_F(Reliability, FiveHundredClientsComeAndGo) {
  Program p;
  ASSERT_TRUE(p.WaitPanel1("Waiting for Client"));
  for (int cycle = 0; cycle < 500; ++cycle) {
    const SOCKET s = ConnectRetrying(p.port);
    ASSERT_NE(s, INVALID_SOCKET) << "cycle " << cycle;
    ASSERT_TRUE(PumpUntil([&] { return p.bridge.ClientPort().Socket()->State() == CSocket::StateConnected; }, 5000))
        << cycle;
    if (cycle % 3 == 0) {
      // Leave in the middle of a record.
      p.bridge.Links()
          .Box(DecoderLinks::AirNavIn)
          .SetText(Downlink("SEQ " + std::to_string(cycle) + " " + std::string(2000, 'z')));
      // The record goes out with the message loop's next pass.
      ASSERT_TRUE(PumpUntil([&] {
        u_long waiting = 0;
        ioctlsocket(s, FIONREAD, &waiting);
        return waiting > 0;
      }));
      char part[40];
      recv(s, part, sizeof part, 0);
    }
    closesocket(s);
  }
  // And the next one is served normally, with whole records.
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  p.bridge.Links().Box(DecoderLinks::AirNavIn).SetText(Downlink("SEQ 000001 LAST"));
  ASSERT_TRUE(client.WaitRecords(1));
  EXPECT_EQ(SequenceOf(client.records[0]), 1);
  EXPECT_EQ(client.raw.size(), 16 + client.records[0].Frame.size());
}

TEST_F(Reliability, GarbageFromTheClientDoesNotStopTheMessages) {
  Program p;
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  std::atomic<bool> done{false};
  std::atomic<long> sent{0};
  std::thread sender([&] {
    std::vector<char> chunk(64 * 1024, '\x7f');
    while (sent < 50L * 1024 * 1024) {
      const int n = send(client.s, chunk.data(), static_cast<int>(chunk.size()), 0);
      if (n > 0) {
        sent += n;
      } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
        Sleep(1);  // the socket is full: let the program read some
      } else {
        break;
      }
    }
    done = true;
  });
  int sentMessages = 0;
  PumpUntil(
      [&] {
        p.bridge.Links()
            .Box(DecoderLinks::PosfixIn)
            .SetText(Downlink("SEQ " + std::to_string(100000 + sentMessages++)));
        client.Poll();
        return done.load();
      },
      180000);
  sender.join();
  ASSERT_TRUE(done);
  EXPECT_GE(sent.load(), 50L * 1024 * 1024);
  ASSERT_TRUE(client.WaitRecords(static_cast<std::size_t>(sentMessages)));
  EXPECT_TRUE(client.reader.Error().empty());
  EXPECT_EQ(p.bridge.Router().TotalDropped(), 0u);
}

TEST_F(Reliability, SeveralClientsEachGetEveryRecordAndASlowOneHoldsUpNobody) {
  Settings settings = TestSettings();
  settings.MaxClients = 3;
  Program p(settings);
  StreamClient a(p.port), b(p.port), slow(p.port);
  ASSERT_TRUE(p.WaitPanel1("3 clients connected"));
  ASSERT_NE(p.bridge.ClientPort().Pool(), nullptr);
  EXPECT_EQ(p.bridge.ClientPort().Pool()->Count(), 3u);

  // The fourth is refused: its connection is closed at once.
  StreamClient fourth(p.port);
  ASSERT_TRUE(PumpUntil([&] {
    char byte;
    const int n = recv(fourth.s, &byte, 1, 0);
    return n == 0 || (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK);
  }));
  EXPECT_EQ(p.bridge.ClientPort().Pool()->Refused(), 1u);

  // 2,000 messages of 5 KB; `slow` never reads.
  const std::string big(5000, 'x');
  constexpr int kCount = 2000;
  for (int i = 0; i < kCount; ++i) {
    p.bridge.Links().Box(DecoderLinks::SkySpyIn).SetText(Downlink("SEQ " + std::to_string(100000 + i) + " " + big));
    a.Poll();
    b.Poll();
  }
  ASSERT_TRUE(a.WaitRecords(kCount, 60000)) << a.records.size();
  ASSERT_TRUE(b.WaitRecords(kCount, 60000)) << b.records.size();
  EXPECT_EQ(a.raw, b.raw);
  const auto clients = p.bridge.ClientPort().Pool()->Clients();
  ASSERT_EQ(clients.size(), 3u);
  EXPECT_EQ(clients[0].Dropped, 0u);
  EXPECT_EQ(clients[1].Dropped, 0u);
  EXPECT_GT(clients[2].Dropped, 0u);
  EXPECT_EQ(clients[2].Sent + clients[2].Dropped, static_cast<std::uint64_t>(kCount));
  EXPECT_EQ(p.bridge.Router().TotalDropped(), clients[2].Dropped);
  EXPECT_EQ(p.Panel(4), "Dropped " + std::to_string(clients[2].Dropped));

  // What the slow one gets when it reads again is whole records, in order.
  ASSERT_TRUE(slow.WaitRecords(static_cast<std::size_t>(clients[2].Sent), 60000));
  EXPECT_TRUE(slow.reader.Error().empty());
  int last = -1;
  for (const Record& r : slow.records) {
    const int seq = SequenceOf(r);
    EXPECT_GT(seq, last);
    last = seq;
  }

  // One leaves; a newcomer takes its place and gets what comes from then on.
  closesocket(a.s);
  a.s = INVALID_SOCKET;
  ASSERT_TRUE(p.WaitPanel1("2 clients connected"));
  StreamClient newcomer(p.port);
  ASSERT_TRUE(p.WaitPanel1("3 clients connected"));
  p.bridge.Links().Box(DecoderLinks::SkySpyIn).SetText(Downlink("SEQ 999999 LAST"));
  ASSERT_TRUE(newcomer.WaitRecords(1));
  EXPECT_EQ(SequenceOf(newcomer.records[0]), 999999);
  ASSERT_TRUE(b.WaitRecords(kCount + 1));
}
