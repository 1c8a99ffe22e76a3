// The JSON feeds started again by new settings (the Options dialog's OK),
// and the program ended, on the real program: neither waits for a feed that
// never stops sending, and nothing the old feeds held is lost uncounted.

#include <gtest/gtest.h>

#include <string>

#include "support/decoder_texts.h"
#include "support/flood_peer.h"
#include "support/program_fixture.h"
#include "ui/app_ids.h"

namespace {

std::vector<Endpoint> Inputs(const std::vector<std::string>& where) {
  std::vector<std::string> arguments;
  for (const std::string& w : where) arguments.insert(arguments.end(), {"--json-in", w});
  return ParseSettings(arguments).JsonIn;
}

std::string Tcp(int port) {
  return "tcp:127.0.0.1:" + std::to_string(port);
}
std::string Udp(int port) {
  return "udp:127.0.0.1:" + std::to_string(port);
}

// Milliseconds that `step` took.
template <typename Step>
ULONGLONG Took(Step&& step) {
  const ULONGLONG start = GetTickCount64();
  step();
  return GetTickCount64() - start;
}

}  // namespace

TEST(FeedsRestart, OkAndExitReturnPromptlyWhileTheFeedsFlood) {
  const int tcpPort = FreeTcpPort(), udpPort = FreeTcpPort(), nextTcpPort = FreeTcpPort();
  FloodPeer tcp(FloodPeer::Kind::Tcp, tcpPort);
  Settings settings = TestSettings();
  settings.JsonIn = Inputs({Tcp(tcpPort), Udp(udpPort)});
  Program p(settings);
  FloodPeer udp(FloodPeer::Kind::Udp, udpPort);
  ASSERT_TRUE(PumpUntil([&] { return tcp.Sent() >= (4u << 20) && udp.Sent() >= (4u << 20); }));

  // OK with other feeds: the old ones end, the new ones start.
  FloodPeer nextTcp(FloodPeer::Kind::Tcp, nextTcpPort);
  Settings next = settings;
  next.JsonIn = Inputs({Tcp(nextTcpPort), Udp(udpPort)});
  EXPECT_LT(Took([&] { p.bridge.ApplySettings(next); }), 3000u);
  ASSERT_EQ(p.bridge.Feeds().Feeds().size(), 2u);
  EXPECT_EQ(p.bridge.Feeds().Feeds()[0]->Name(), Tcp(nextTcpPort));

  // File > Exit while the new TCP feed and the UDP feed flood.
  const std::uint64_t before = nextTcp.Sent();
  ASSERT_TRUE(PumpUntil([&] { return nextTcp.Sent() >= before + (4u << 20); }));
  EXPECT_LT(Took([&] { p.Click(app::kCmdExit); }), 3000u);
  EXPECT_TRUE(p.bridge.Ended());
  MSG quit;
  PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

TEST(FeedsRestart, WhatTheOldFeedsHeldIsForwardedOrCounted) {
  const int udpPort = FreeTcpPort(), absentServer = FreeTcpPort();
  Settings settings = TestSettings();
  settings.JsonIn = Inputs({Udp(udpPort)});
  settings.JsonOut = ParseSettings({"--json-out", Tcp(absentServer)}).JsonOut;
  Program p(settings);
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));

  // Three messages the TCP output keeps for a server that is not there.
  const std::size_t skyspy = p.bridge.Links().RouterInput(DecoderLinks::SkySpyIn);
  for (const char* text : {"KEPT 1", "KEPT 2", "KEPT 3"}) p.bridge.Router().Submit(Downlink(text), skyspy);
  p.bridge.Flush();
  ASSERT_TRUE(client.WaitRecords(3));
  ASSERT_EQ(p.bridge.Router().TotalDropped(), 0u);

  // An object the UDP input has read, waiting for this thread to take it.
  HWND wake = FindWindowExW(HWND_MESSAGE, nullptr, L"TolvanJsonInputWake", nullptr);
  ASSERT_NE(wake, nullptr);
  const std::string object = R"({"mode":"2","label":"H1","block_id":"4","tail":".N123AB","flight":"XY0123",)"
                             R"("msgno":"M01A","text":"READ BEFORE OK"})";
  SOCKET s = UdpSocket(0);
  const sockaddr_in to = Loopback(udpPort);
  sendto(s, object.data(), static_cast<int>(object.size()), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  closesocket(s);
  MSG waiting;
  ASSERT_TRUE(WaitWithoutPumping([&] { return PeekMessageW(&waiting, wake, 0, 0, PM_NOREMOVE) != FALSE; }));

  // OK without the TCP output: its three lines are counted as dropped, and
  // the object read goes to the client.
  Settings next = settings;
  next.JsonOut.clear();
  p.bridge.ApplySettings(next);
  EXPECT_EQ(p.bridge.Router().TotalDropped(), 3u);
  ASSERT_TRUE(client.WaitRecords(4));
  EXPECT_NE(client.records[3].Frame.find("READ BEFORE OK"), std::string::npos);
  EXPECT_TRUE(PumpUntil([&] { return p.Panel(4).find("Dropped 3") != std::string::npos; })) << p.Panel(4);
}

TEST(FeedsRestart, TheFeedsStartAgainWhenTheClientPortCannotTakeItsNewSetting) {
  Settings settings = TestSettings();
  Program p(settings);
  // One client at a time: its connection holds the port, nothing listens.
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  // Someone else listens on the port meanwhile, so that serving several
  // clients, which listens again, fails.
  const SOCKET other = Listener(p.port);
  ASSERT_NE(other, INVALID_SOCKET);
  const int udpPort = FreeTcpPort();
  Settings next = settings;
  next.MaxClients = 3;
  next.JsonIn = Inputs({Udp(udpPort)});
  p.bridge.ApplySettings(next);
  EXPECT_NE(p.Panel(5).find("10048"), std::string::npos) << "the failure is reported: " << p.Panel(5);
  ASSERT_EQ(p.bridge.Feeds().Feeds().size(), 1u);
  EXPECT_EQ(p.bridge.Feeds().Feeds()[0]->Name(), Udp(udpPort));
  EXPECT_EQ(p.bridge.Feeds().Feeds()[0]->State(), "listening");
  closesocket(other);
}
