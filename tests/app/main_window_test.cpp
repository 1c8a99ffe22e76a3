#include "main_window.h"

#include <gtest/gtest.h>
#include <psapi.h>
#include <shellapi.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app_ids.h"
#include "program_fixture.h"

namespace {

const auto* const kWinsock = ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);

SOCKET ConnectTo(int port, bool expectSuccess = true) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<u_short>(port));
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  EXPECT_EQ(ok, expectSuccess);
  return s;
}

SIZE_T WorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.WorkingSetSize;
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
  EXPECT_EQ(client.right, MulDiv(335, dpi, 96));
  EXPECT_EQ(client.bottom, MulDiv(130, dpi, 96));

  // Menu bar.
  HMENU bar = p.form.MenuBar();
  EXPECT_EQ(MenuText(bar, 0), "&File");
  EXPECT_EQ(MenuText(bar, 1), "&Source");
  EXPECT_EQ(MenuText(GetSubMenu(bar, 0), 0), "Debug Log");
  EXPECT_EQ(MenuText(GetSubMenu(bar, 0), 1), "e&xit");
  const std::vector<std::string> sources{"SkySpy", "Airmaster", "AirNav Decoder", "Posfix Client"};
  for (UINT i = 0; i < sources.size(); ++i) {
    EXPECT_EQ(MenuText(GetSubMenu(bar, 1), i), sources[i]);
    EXPECT_FALSE(GetMenuState(GetSubMenu(bar, 1), i, MF_BYPOSITION) & MF_CHECKED);
  }
  // Tray popup menu.
  HMENU tray = p.form.TrayMenu();
  EXPECT_EQ(GetMenuItemCount(tray), 4);
  EXPECT_EQ(MenuText(tray, 0), "&Show Form");
  EXPECT_EQ(MenuText(tray, 1), "&About");
  EXPECT_TRUE(GetMenuState(tray, 2, MF_BYPOSITION) & MF_SEPARATOR);
  EXPECT_EQ(MenuText(tray, 3), "&Exit");
  EXPECT_EQ(GetMenuDefaultItem(tray, TRUE, 0), 0u);
  EXPECT_EQ(GetMenuItemID(tray, 3), 0x2002u);
  ASSERT_NE(p.form.Tray(), nullptr);
  EXPECT_TRUE(p.form.Tray()->InTray());
  EXPECT_EQ(p.form.Tray()->TrayTip(), std::string("Zizizer ODO Rerido") + '\0');
  EXPECT_EQ(p.form.Tray()->TrayIcon().Type, Picture::kIcon);

  // Status bar, before the first tick; the socket already listens.
  EXPECT_EQ(StatusParts(p.form.StatusBar().hWnd()), (std::vector<int>{100, 150, 300, 350, -1}));
  EXPECT_EQ(p.Panel(1), "Server disabled");
  EXPECT_EQ(p.form.Socket()->State(), CSocket::StateListening);
  EXPECT_EQ(p.form.Socket()->LocalPort(), 2201);
  EXPECT_TRUE(p.WaitPanel1("Waiting for Client"));
}

TEST(frmMain, ServesOneClientAtATimeAndRecoversFromFailures) {
  Program p;
  ASSERT_TRUE(p.WaitPanel1("Waiting for Client"));
  SOCKET first = ConnectTo(2201);
  ASSERT_TRUE(p.WaitPanel1("Connect"));
  EXPECT_EQ(p.form.Socket()->State(), CSocket::StateConnected);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));

  // No listener while a client is served.
  SOCKET second = ConnectTo(2201, false);
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
  EXPECT_EQ(p.form.Socket()->LocalIP(), "0.0.0.0");

  // A failure reported by the socket layer: "Reconnect", then listening.
  SOCKET third = ConnectTo(2201);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  p.form.Socket()->PostSocketEvent(32, 10054);
  EXPECT_EQ(p.form.Socket()->State(), CSocket::StateError);
  seen = {p.Panel(1)};
  ASSERT_TRUE(PumpUntil([&] {
    if (seen.back() != p.Panel(1)) seen.push_back(p.Panel(1));
    return seen.back() == "Waiting for Client";
  }));
  EXPECT_EQ(seen, (std::vector<std::string>{"Client connected", "Reconnect", "Waiting for Client"}));
  closesocket(third);
  SOCKET fourth = ConnectTo(2201);
  EXPECT_TRUE(p.WaitPanel1("Client connected"));
  closesocket(fourth);
}

TEST(frmMain, MinimisingHidesAndShowFormBringsBack) {
  Program p;
  HWND hwnd = p.form.hwnd();
  PumpFor(100);
  EXPECT_TRUE(p.form.Shown());
  ShowWindow(hwnd, SW_MINIMIZE);
  PumpFor(100);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_FALSE(p.form.Shown());

  p.form.MenuClick(app::kIndexShowForm);
  PumpFor(100);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_FALSE(IsIconic(hwnd));
  EXPECT_TRUE(p.form.Shown());

  // Any other size change leaves the window in normal state.
  ShowWindow(hwnd, SW_MAXIMIZE);
  PumpFor(100);
  EXPECT_FALSE(IsZoomed(hwnd));
  EXPECT_TRUE(IsWindowVisible(hwnd));

  // The tray's double click shows a hidden window again.
  ShowWindow(hwnd, SW_MINIMIZE);
  PumpFor(100);
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
  SOCKET client = ConnectTo(2201);
  ASSERT_TRUE(PumpUntil([&] { return p.form.Socket()->State() == CSocket::StateConnected; }));
  // The tray's "&Exit" command, as the popup menu delivers it.
  SendMessageW(p.form.hwnd(), WM_COMMAND, app::kTrayExit, 0);
  ASSERT_TRUE(PumpUntil([&] { return p.form.hwnd() == nullptr; }));
  EXPECT_TRUE(p.form.Ended());
  EXPECT_EQ(p.form.Tray(), nullptr);
  EXPECT_EQ(p.form.TrayMenu(), nullptr);
  EXPECT_EQ(p.form.Socket()->State(), CSocket::StateClosing);
  // The client sees the end of the stream.
  char byte;
  EXPECT_EQ(recv(client, &byte, 1, 0), 0);
  closesocket(client);
}

TEST(frmMain, FileExitClosesTheClientAndEnds) {
  Program p;
  SOCKET client = ConnectTo(2201);
  ASSERT_TRUE(PumpUntil([&] { return p.form.Socket()->State() == CSocket::StateConnected; }));
  SendMessageW(p.form.hwnd(), WM_COMMAND, app::kCmdExit, 0);
  EXPECT_TRUE(p.form.Ended());
  EXPECT_EQ(p.form.Tray(), nullptr);
  EXPECT_EQ(p.form.Socket()->State(), CSocket::StateClosing);
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
    SOCKET s = ConnectTo(2201);
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
  ASSERT_TRUE(PumpUntil([&] { return p.form.Socket()->State() == CSocket::StateConnected; }));
  PumpFor(200);
  const SIZE_T before = WorkingSet();
  const bool finished = PumpUntil([&] { return done.load(); }, 120000);
  PumpFor(300);
  sender.join();
  ASSERT_TRUE(finished);
  const SIZE_T after = WorkingSet();
  EXPECT_LT(after, before + 8 * 1024 * 1024) << "working set grew from " << before << " to " << after;
  EXPECT_EQ(p.form.Socket()->BytesReceived(), 0);
}

TEST(frmMain, PortTakenAtStartShowsTheErrorAndEnds) {
  // Hold port 2201, then start the real program beside this test.
  SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(2201);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  ASSERT_EQ(listen(holder, 1), 0);

  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring exe(path);
  exe = exe.substr(0, exe.find_last_of(L"\\/")) + L"\\..\\app\\TolvanDDE.exe";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));

  // Find the program's message box, read it and press OK.
  struct Found {
    DWORD pid;
    HWND box = nullptr;
  } found{pi.dwProcessId};
  const bool shown = PumpUntil(
      [&] {
        EnumWindows(
            [](HWND w, LPARAM l) -> BOOL {
              auto* f = reinterpret_cast<Found*>(l);
              DWORD pid = 0;
              GetWindowThreadProcessId(w, &pid);
              char cls[32] = {};
              GetClassNameA(w, cls, sizeof cls);
              if (pid == f->pid && std::string(cls) == "#32770" && IsWindowVisible(w)) f->box = w;
              return f->box == nullptr;
            },
            reinterpret_cast<LPARAM>(&found));
        return found.box != nullptr;
      },
      20000);
  ASSERT_TRUE(shown);
  char text[256] = {};
  GetDlgItemTextA(found.box, 0xFFFF, text, sizeof text);
  EXPECT_EQ(std::string(text), "Run-time error '10048':\r\n\r\nAddress already in use.");
  PostMessageW(found.box, WM_COMMAND, IDOK, 0);
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 10048u);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  closesocket(holder);
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
