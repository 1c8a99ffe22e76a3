#include "ui/main_window.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/program_fixture.h"
#include "ui/app_ids.h"

namespace {

SOCKET ConnectTo(int port, bool expectSuccess = true) {
  const SOCKET s = ConnectLoopback(port);
  EXPECT_EQ(s != INVALID_SOCKET, expectSuccess);
  return s;
}

}  // namespace

TEST(frmMain, StartsUpInOrderAndListens) {
  Program p;
  HWND hwnd = p.form.hwnd();
  wchar_t caption[64] = {};
  GetWindowTextW(hwnd, caption, 64);
  EXPECT_STREQ(caption, L"TOLVAN DDE Server v1.31");
  EXPECT_TRUE(IsWindowVisible(hwnd));
  RECT client{};
  GetClientRect(hwnd, &client);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(client.right, MulDiv(720, dpi, 96));
  EXPECT_EQ(client.bottom, MulDiv(130, dpi, 96));

  // Menu bar.
  HMENU bar = p.form.MenuBar();
  EXPECT_EQ(MenuText(bar, 0), "&File");
  EXPECT_EQ(MenuText(bar, 1), "&Source");
  EXPECT_EQ(MenuText(bar, 2), "&View");
  EXPECT_EQ(MenuText(GetSubMenu(bar, 2), 0), "S&tatistics");
  EXPECT_EQ(MenuText(GetSubMenu(bar, 0), 0), "&Debug Log");
  EXPECT_EQ(MenuText(GetSubMenu(bar, 0), 1), "&Options...");
  EXPECT_EQ(MenuText(GetSubMenu(bar, 0), 2), "Open status &page");
  EXPECT_EQ(GetMenuItemID(GetSubMenu(bar, 0), 2), UINT{app::kCmdStatusPage});
  EXPECT_EQ(MenuText(GetSubMenu(bar, 0), 3), "e&xit");
  const std::vector<std::string> sources{"&SkySpy", "&Airmaster", "Air&Nav Decoder", "&Posfix Client"};
  for (UINT i = 0; i < sources.size(); ++i) {
    EXPECT_EQ(MenuText(GetSubMenu(bar, 1), i), sources[i]);
    EXPECT_FALSE(GetMenuState(GetSubMenu(bar, 1), i, MF_BYPOSITION) & MF_CHECKED);
  }
  // Tray popup menu.
  HMENU tray = p.form.TrayMenu();
  EXPECT_EQ(GetMenuItemCount(tray), 8);
  EXPECT_EQ(MenuText(tray, 0), "&Show Form");
  EXPECT_EQ(MenuText(tray, 1), "&About");
  EXPECT_EQ(MenuText(tray, 2), "S&tatistics");
  EXPECT_EQ(MenuText(tray, 3), "&Options...");
  EXPECT_EQ(MenuText(tray, 4), "Start with &Windows");
  EXPECT_EQ(MenuText(tray, 5), "Open status &page");
  EXPECT_EQ(GetMenuItemID(tray, 5), UINT{app::kCmdStatusPage});
  EXPECT_TRUE(GetMenuState(tray, 6, MF_BYPOSITION) & MF_SEPARATOR);
  EXPECT_EQ(MenuText(tray, 7), "&Exit");
  EXPECT_EQ(GetMenuDefaultItem(tray, TRUE, 0), 0u);
  EXPECT_EQ(GetMenuItemID(tray, 7), 0x2002u);
  ASSERT_NE(p.form.Tray(), nullptr);
  EXPECT_TRUE(p.form.Tray()->InTray());
  EXPECT_EQ(p.form.Tray()->TrayTip(), std::string("Zizizer ODO Rerido") + '\0');
  EXPECT_EQ(p.form.Tray()->TrayIcon().Type, Picture::kIcon);

  // Status bar, before the first tick; the socket already listens.
  EXPECT_EQ(StatusParts(p.form.StatusBar().hWnd()), (std::vector<int>{100, 160, 220, 290, -1}));
  EXPECT_EQ(p.Panel(1), "Server disabled");
  EXPECT_EQ(p.bridge.ClientPort().Socket()->State(), CSocket::StateListening);
  EXPECT_EQ(p.bridge.ClientPort().Socket()->LocalPort(), p.port);
  EXPECT_TRUE(p.WaitPanel1("Waiting for Client"));
}

TEST(frmMain, ServesOneClientAtATimeAndRecoversFromFailures) {
  Program p;
  ASSERT_TRUE(p.WaitPanel1("Waiting for Client"));
  SOCKET first = ConnectTo(p.port);
  ASSERT_TRUE(p.WaitPanel1("Connect"));
  EXPECT_EQ(p.bridge.ClientPort().Socket()->State(), CSocket::StateConnected);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));

  // No listener while a client is served.
  SOCKET second = ConnectTo(p.port, false);
  closesocket(second);

  // The client leaves: "Server disabled" for one tick, then listening again
  // on every interface.
  closesocket(first);
  std::vector<std::string> seen{p.Panel(1)};
  ASSERT_TRUE(PumpUntil([&] {
    if (seen.back() != p.Panel(1)) seen.push_back(p.Panel(1));
    return seen.back() == "Waiting for Client";
  }));
  EXPECT_EQ(seen, (std::vector<std::string>{"Client connected", "Server disabled", "Waiting for Client"}));
  EXPECT_EQ(p.bridge.ClientPort().Socket()->LocalIP(), "0.0.0.0");

  // A failure reported by the socket layer: "Reconnect", then listening.
  SOCKET third = ConnectTo(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  p.bridge.ClientPort().Socket()->PostSocketEvent(32, 10054);
  EXPECT_EQ(p.bridge.ClientPort().Socket()->State(), CSocket::StateError);
  seen = {p.Panel(1)};
  ASSERT_TRUE(PumpUntil([&] {
    if (seen.back() != p.Panel(1)) seen.push_back(p.Panel(1));
    return seen.back() == "Waiting for Client";
  }));
  EXPECT_EQ(seen, (std::vector<std::string>{"Client connected", "Reconnect", "Waiting for Client"}));
  closesocket(third);
  SOCKET fourth = ConnectTo(p.port);
  EXPECT_TRUE(p.WaitPanel1("Client connected"));
  closesocket(fourth);
}

TEST(frmMain, MinimisingHidesAndShowFormBringsBack) {
  Program p;
  HWND hwnd = p.form.hwnd();
  EXPECT_TRUE(PumpUntil([&] { return p.form.Shown(); }));
  ShowWindow(hwnd, SW_MINIMIZE);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(hwnd); }));
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_FALSE(p.form.Shown());

  p.form.MenuClick(app::kIndexShowForm);
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(hwnd) && !IsIconic(hwnd); }));
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_FALSE(IsIconic(hwnd));
  EXPECT_TRUE(p.form.Shown());

  // Any other size change leaves the window in normal state.
  ShowWindow(hwnd, SW_MAXIMIZE);
  EXPECT_TRUE(PumpUntil([&] { return !IsZoomed(hwnd); }));
  EXPECT_FALSE(IsZoomed(hwnd));
  EXPECT_TRUE(IsWindowVisible(hwnd));

  // The tray's double click shows a hidden window again.
  ShowWindow(hwnd, SW_MINIMIZE);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(hwnd); }));
  SendMessageW(hwnd, SysTray::kNotifyMessage, 0, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(IsWindowVisible(hwnd));
}

TEST(frmMain, DebugLogToggles) {
  Program p;
  HMENU bar = p.form.MenuBar();
  auto checked = [&] { return (GetMenuState(bar, app::kCmdDebugLog, MF_BYCOMMAND) & MF_CHECKED) != 0; };
  EXPECT_FALSE(checked());
  SendMessageW(p.form.hwnd(), WM_COMMAND, app::kCmdDebugLog, 0);
  EXPECT_TRUE(checked());
  SendMessageW(p.form.hwnd(), WM_COMMAND, app::kCmdDebugLog, 0);
  EXPECT_FALSE(checked());
}

TEST(frmMain, TrayExitUnloadsEverything) {
  Program p;
  SOCKET client = ConnectTo(p.port);
  ASSERT_TRUE(PumpUntil([&] { return p.bridge.ClientPort().Socket()->State() == CSocket::StateConnected; }));
  // The tray's "&Exit" command, as the popup menu delivers it.
  SendMessageW(p.form.hwnd(), WM_COMMAND, app::kTrayExit, 0);
  ASSERT_TRUE(PumpUntil([&] { return p.form.hwnd() == nullptr; }));
  EXPECT_TRUE(p.form.Ended());
  EXPECT_EQ(p.form.Tray(), nullptr);
  EXPECT_EQ(p.form.TrayMenu(), nullptr);
  EXPECT_EQ(p.bridge.ClientPort().Socket()->State(), CSocket::StateClosing);
  // The client sees the end of the stream.
  char byte;
  EXPECT_EQ(recv(client, &byte, 1, 0), 0);
  closesocket(client);
}

TEST(frmMain, FileExitClosesTheClientAndEnds) {
  Program p;
  SOCKET client = ConnectTo(p.port);
  ASSERT_TRUE(PumpUntil([&] { return p.bridge.ClientPort().Socket()->State() == CSocket::StateConnected; }));
  SendMessageW(p.form.hwnd(), WM_COMMAND, app::kCmdExit, 0);
  EXPECT_TRUE(p.form.Ended());
  EXPECT_EQ(p.form.Tray(), nullptr);
  EXPECT_EQ(p.bridge.ClientPort().Socket()->State(), CSocket::StateClosing);
  char byte;
  EXPECT_EQ(recv(client, &byte, 1, 0), 0);
  closesocket(client);
  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(frmMain, DataFromTheClientIsDiscarded) {
  Program p;
  std::atomic<bool> connected{false}, done{false};
  std::thread sender([&] {
    SOCKET s = ConnectTo(p.port);
    connected = true;
    std::vector<char> chunk(64 * 1024, 'g');
    for (int sent = 0; sent < 50 * 1024 * 1024;) {
      const int n = send(s, chunk.data(), static_cast<int>(chunk.size()), 0);
      if (n <= 0) break;
      sent += n;
    }
    closesocket(s);
    done = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return p.bridge.ClientPort().Socket()->State() == CSocket::StateConnected; }));
  const bool finished = PumpUntil([&] { return done.load(); }, 120000);
  sender.join();
  ASSERT_TRUE(finished);
  EXPECT_EQ(p.bridge.ClientPort().Socket()->BytesReceived(), 0);
}

TEST(frmMain, PortTakenAtStartShowsTheErrorAndEnds) {
  // Hold a port, then start the real program on it beside this test.
  const int port = FreeTcpPort();
  SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<u_short>(port));
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  ASSERT_EQ(listen(holder, 1), 0);

  ChildProcess program(L"app\\TolvanDDE.exe", L"--port " + std::to_wstring(port));
  ASSERT_TRUE(program.Started());
  // Find the program's message box, read it and press OK.
  HWND box = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (box = FindMessageBox(program.Id())) != nullptr; }, 20000));
  EXPECT_EQ(MessageBoxText(box), "Run-time error '10048':\r\n\r\nAddress already in use.");
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(program.Wait(20000), 10048);
  closesocket(holder);
}

TEST(frmMain, BadOptionsShowWhatIsAllowedAndEnd) {
  ChildProcess program(L"app\\TolvanDDE.exe", L"--port 70000");
  HWND box = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (box = FindMessageBox(program.Id())) != nullptr; }, 20000));
  EXPECT_EQ(MessageBoxText(box), "--port 70000: a whole number from 1 to 65535 (default 2201) is allowed.");
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(program.Wait(20000), 2);
}

TEST(frmMain, AStartUpErrorOfAnyKindEndsInTheMessageBox) {
  // The window class taken by someone else's procedure: the window cannot
  // become the program's.
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TolvanDdeServerMain";
  // A window of an earlier test in this process left the program's own class.
  UnregisterClassW(wc.lpszClassName, wc.hInstance);
  ASSERT_NE(RegisterClassExW(&wc), 0);

  // The message box runs on this thread; another one reads and closes it.
  std::string text;
  std::atomic<bool> stop{false};
  std::thread closer([&] {
    for (int i = 0; i < 2000 && !stop; ++i) {
      if (HWND box = FindMessageBox(GetCurrentProcessId())) {
        text = MessageBoxText(box);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(10);  // looks again for the box, which the main thread is about to show
    }
  });
  Bridge bridge(TestSettings());
  frmMain form(GetModuleHandleW(nullptr), bridge);
  const int code = form.Run();
  stop = true;
  closer.join();
  EXPECT_NE(code, 0);
  EXPECT_NE(text.find("Run-time error '"), std::string::npos) << text;
  EXPECT_NE(text.find("Cannot create the window."), std::string::npos) << text;
  UnregisterClassW(wc.lpszClassName, wc.hInstance);  // the program's class again for later tests
}

TEST(frmMain, ASecondStartOnTheSamePortShowsTheFirstCopyAndEnds) {
  const int port = FreeTcpPort();
  ChildProcess first(L"app\\TolvanDDE.exe", L"--port " + std::to_wstring(port) + L" --minimized");
  const HWND window = MainWindowOf(first.Id());
  ASSERT_NE(window, nullptr);
  const SOCKET probe = ConnectRetrying(port);  // it serves the port
  ASSERT_NE(probe, INVALID_SOCKET);
  closesocket(probe);
  EXPECT_FALSE(IsWindowVisible(window)) << "started in the tray";

  ChildProcess second(L"app\\TolvanDDE.exe", L"--port " + std::to_wstring(port));
  EXPECT_EQ(second.Wait(20000), 0);
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(window) != FALSE; }));
  EXPECT_TRUE(first.Running());

  // Another port, another copy, side by side.
  const int otherPort = FreeTcpPort();
  ChildProcess other(L"app\\TolvanDDE.exe", L"--port " + std::to_wstring(otherPort));
  EXPECT_NE(MainWindowOf(other.Id()), nullptr);
  const SOCKET client = ConnectRetrying(otherPort);
  EXPECT_NE(client, INVALID_SOCKET);
  closesocket(client);
  EXPECT_TRUE(other.Running());
}

TEST(frmMain, TrayIconComesBackWhenTheShellRestarts) {
  Program p;
  NOTIFYICONDATAA probe{};
  probe.cbSize = NOTIFYICONDATAA_V1_SIZE;
  probe.hWnd = p.form.hwnd();
  probe.uFlags = NIF_TIP;
  lstrcpyA(probe.szTip, "probe");
  ASSERT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &probe));
  // A restarting shell forgets every icon, then announces itself.
  ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &probe));
  EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &probe));
  SendMessageW(p.form.hwnd(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &probe));
}
