// The bridge's one way of ending, whichever way the user ends the program,
// and a bridge that outlives its window.

#include "app/bridge.h"

#include <gtest/gtest.h>

#include "support/decoder_texts.h"
#include "support/program_fixture.h"
#include "ui/app_ids.h"

namespace {

bool NoLinkUp(Bridge& bridge) {
  for (std::size_t i = 0; i < DecoderLinks::kCount; ++i) {
    if (bridge.Links().Linked(i) || bridge.Links().Box(i).Connected()) return false;
  }
  return true;
}

}  // namespace

TEST(Bridge, FileExitAndTheTraysExitEndItTheSameWayOnce) {
  // Registered, and waiting for a start that never comes.
  DecoderSimulator decoder(L"--services SkySpy --count 1 --quiet", true);
  ASSERT_TRUE(decoder.Ready());
  for (const UINT command : {UINT{app::kCmdExit}, UINT{app::kTrayExit}}) {
    Program p;
    ASSERT_TRUE(p.bridge.Links().Linked(DecoderLinks::SkySpyIn)) << command;
    StreamClient client(p.port);
    ASSERT_TRUE(PumpUntil([&] { return p.bridge.ClientPort().Socket()->State() == CSocket::StateConnected; }));
    SendMessageW(p.form.hwnd(), WM_COMMAND, command, 0);
    ASSERT_TRUE(PumpUntil([&] { return p.bridge.Ended(); })) << command;
    EXPECT_TRUE(p.form.Ended());
    EXPECT_TRUE(NoLinkUp(p.bridge)) << command;
    // File > exit leaves the window, with its Source item cleared; the
    // tray's Exit destroys it.
    if (command == app::kCmdExit) {
      EXPECT_FALSE(p.Checked(app::kCmdSkySpy));
    } else {
      EXPECT_EQ(p.form.hwnd(), nullptr);
    }
    EXPECT_EQ(p.bridge.ClientPort().Socket()->State(), CSocket::StateClosing) << command;
    EXPECT_EQ(p.form.Tray(), nullptr) << command;
    // Ending again changes nothing.
    p.bridge.Shutdown();
    EXPECT_TRUE(p.bridge.Ended());
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  }
}

TEST(Bridge, TheWindowGoesFirstAndNothingReachesItAfterwards) {
  Bridge bridge(TestSettings());
  {
    frmMain form(GetModuleHandleW(nullptr), bridge);
    form.Load();
    EXPECT_FALSE(bridge.Ended());
  }
  // The window's teardown ended the bridge.
  EXPECT_TRUE(bridge.Ended());
  EXPECT_TRUE(NoLinkUp(bridge));
  // A text that still reaches the router is counted, and what the router
  // would show goes nowhere: there is no window left to show it.
  bridge.Router().Submit(Downlink("AFTER THE WINDOW"), bridge.Links().RouterInput(DecoderLinks::SkySpyIn));
  bridge.Flush();
  EXPECT_EQ(bridge.Router().Counters(bridge.Links().RouterInput(DecoderLinks::SkySpyIn)).Received, 1u);
}

TEST(Bridge, AStartUpErrorEndsTheBridgeWithTheWindow) {
  // Another program holds the port.
  const Settings settings = TestSettings();
  const SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(static_cast<u_short>(settings.Port));
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  ASSERT_EQ(listen(holder, 1), 0);
  Bridge bridge(settings);
  {
    frmMain form(GetModuleHandleW(nullptr), bridge);
    EXPECT_THROW(form.Load(), SocketError);
  }
  EXPECT_TRUE(bridge.Ended());
  EXPECT_TRUE(NoLinkUp(bridge));
  closesocket(holder);
}

TEST(Bridge, NewSettingsTakeEffectWhileItRunsButForThePort) {
  Settings settings = TestSettings();
  settings.MaxClients = 2;
  Program p(settings);
  StreamClient first(p.port);
  ASSERT_TRUE(PumpUntil([&] { return p.bridge.ClientPort().Pool()->Count() == 1; }));

  Settings next = settings;
  next.Port = FreeTcpPort();
  next.MaxClients = 4;
  next.SilenceMinutes = 1;
  const int jsonPort = FreeTcpPort();
  next.JsonOut = ParseSettings({"--json-out", "serve:127.0.0.1:" + std::to_string(jsonPort)}).JsonOut;
  next.StationId = "XX-NEW";
  next.Capture = "C:\\elsewhere";
  p.bridge.ApplySettings(next);
  EXPECT_EQ(p.bridge.CurrentSettings().Capture, "") << "from the next start";
  EXPECT_EQ(p.bridge.CurrentSettings().Port, p.port);
  EXPECT_EQ(p.bridge.ClientPort().Socket()->LocalPort(), p.port);
  EXPECT_EQ(p.bridge.CurrentSettings().SilenceMinutes, 1);
  ASSERT_NE(p.bridge.ClientPort().Pool(), nullptr);
  EXPECT_EQ(p.bridge.ClientPort().Pool()->MaxClients(), 4u);
  EXPECT_EQ(p.bridge.ClientPort().Pool()->Count(), 1u) << "the connected client stays";

  // The new JSON output sends lines with the new station id.
  const SOCKET reader = ConnectRetrying(jsonPort);
  ASSERT_NE(reader, INVALID_SOCKET);
  u_long nonBlocking = 1;
  ioctlsocket(reader, FIONBIO, &nonBlocking);
  std::string received;
  EXPECT_TRUE(PumpUntil(
      [&] {
        p.bridge.Router().Submit(Downlink("NEW STATION"), p.bridge.Links().RouterInput(DecoderLinks::SkySpyIn));
        p.bridge.Flush();
        PumpFor(20);
        char buffer[4096];
        for (int n; (n = recv(reader, buffer, sizeof buffer, 0)) > 0;)
          received.append(buffer, static_cast<std::size_t>(n));
        return received.find("\"station_id\":\"XX-NEW\"") != std::string::npos;
      },
      10000))
      << received;
  closesocket(reader);

  // Back to one client at a time: the clients are let go, and the port
  // listens again for one.
  next.MaxClients = 1;
  p.bridge.ApplySettings(next);
  EXPECT_EQ(p.bridge.ClientPort().Pool(), nullptr);
  ASSERT_TRUE(p.WaitPanel1("Waiting for Client"));
  StreamClient second(p.port);
  EXPECT_TRUE(p.WaitPanel1("Client connected"));
}
