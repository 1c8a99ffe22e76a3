// File > Options... and the tray menu's Start with Windows on the real
// program: what OK writes, the running bridge takes at once (the port and
// its address at the next start); Cancel changes nothing.

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "settings/settings_file.h"
#include "settings/start_with_windows.h"
#include "support/program_fixture.h"
#include "support/temp_working_dir.h"
#include "ui/options_ids.h"

namespace {

const auto* const kWinsock = ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);

// The Options dialog of `thread`, or null.
HWND OptionsOf(DWORD thread) {
  HWND found = nullptr;
  EnumThreadWindows(
      thread,
      [](HWND w, LPARAM l) -> BOOL {
        if (!IsWindowVisible(w) || !GetDlgItem(w, IDC_OPTIONS_PORT)) return TRUE;
        *reinterpret_cast<HWND*>(l) = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// The program started from the settings file `ini`, as the entry starts it.
struct ProgramFromFile {
  std::vector<std::string> arguments;
  Bridge bridge;
  frmMain form;
  explicit ProgramFromFile(const std::string& ini)
      : arguments{"--ini", ini}, bridge(LoadSettings(arguments)), form(GetModuleHandleW(nullptr), bridge, arguments) {
    form.Load();
  }
  // File > Options..., driven by `script` from a second thread; returns
  // when the dialog has closed.
  void Options(const std::function<void(HWND)>& script) {
    const DWORD thread = GetCurrentThreadId();
    std::thread driver([&] {
      HWND dialog = nullptr;
      if (!WaitWithoutPumping([&] { return (dialog = OptionsOf(thread)) != nullptr; })) return;
      script(dialog);
      WaitWithoutPumping([&] { return !IsWindow(dialog); });
    });
    SendMessageW(form.hwnd(), WM_COMMAND, app::kCmdOptions, 0);
    driver.join();
  }
  bool Checked(UINT command) { return (GetMenuState(form.MenuBar(), command, MF_BYCOMMAND) & MF_CHECKED) != 0; }
};

class OptionsApplyTest : public InTempWorkingDir {
 protected:
  void SetUp() override {
    InTempWorkingDir::SetUp();
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName);
    port_ = FreeTcpPort();
    ini_ = (dir_ / "TolvanDDE.ini").string();
    std::ofstream(ini_, std::ios::binary) << "; mine\r\n[server]\r\nport=" << port_ << "\r\n\r\n[http]\r\nlisten=0\r\n";
  }
  void TearDown() override {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName);
    InTempWorkingDir::TearDown();
  }
  int port_ = 0;
  std::string ini_;
};

}  // namespace

TEST_F(OptionsApplyTest, OkWritesTheFileAndTheRunningBridgeTakesItAtOnce) {
  ProgramFromFile p(ini_);
  ASSERT_EQ(p.bridge.CurrentSettings().Port, port_);
  ASSERT_EQ(p.bridge.ClientPort().Pool(), nullptr);  // one client at a time
  const int newPort = FreeTcpPort();
  const int feedPort = FreeTcpPort();
  const int pagePort = FreeTcpPort();
  ASSERT_EQ(p.bridge.StatusServer(), nullptr);
  p.Options([&](HWND d) {
    SetDlgItemTextA(d, IDC_OPTIONS_PORT, std::to_string(newPort).c_str());
    SetDlgItemTextA(d, IDC_OPTIONS_HTTP, ("127.0.0.1:" + std::to_string(pagePort)).c_str());
    SetDlgItemTextA(d, IDC_OPTIONS_MAX_CLIENTS, "3");
    SetDlgItemTextA(d, IDC_OPTIONS_RELINK, "7");
    SetDlgItemTextA(d, IDC_OPTIONS_SILENCE, "2");
    SendMessageW(GetDlgItem(d, IDC_OPTIONS_DEBUG_LOG), BM_CLICK, 0, 0);
    SetDlgItemTextA(d, IDC_OPTIONS_OUT_EDIT, ("serve:127.0.0.1:" + std::to_string(feedPort)).c_str());
    PostMessageW(GetDlgItem(d, IDC_OPTIONS_OUT_ADD), BM_CLICK, 0, 0);
    WaitWithoutPumping([&] { return SendMessageW(GetDlgItem(d, IDC_OPTIONS_OUT_LIST), LB_GETCOUNT, 0, 0) == 1; });
    PostMessageW(GetDlgItem(d, IDOK), BM_CLICK, 0, 0);
  });
  // Written...
  EXPECT_EQ(ReadFile(ini_), "; mine\r\n[server]\r\nport=" + std::to_string(newPort) +
                                "\r\nmax-clients=3\r\n\r\n[http]\r\nlisten=127.0.0.1:" + std::to_string(pagePort) +
                                "\r\n\r\n[window]\r\ndebug-log=1\r\n\r\n[decoders]\r\n"
                                "relink-seconds=7\r\nsilence-minutes=2\r\n\r\n[json]\r\njson-out=serve:127.0.0.1:" +
                                std::to_string(feedPort) + "\r\n");
  // ... and taken at once, but for the port.
  const Settings& now = p.bridge.CurrentSettings();
  EXPECT_EQ(now.Port, port_);
  EXPECT_EQ(p.bridge.ClientPort().Socket()->LocalPort(), port_);
  EXPECT_EQ(now.RelinkSeconds, 7);
  EXPECT_EQ(now.SilenceMinutes, 2);
  EXPECT_TRUE(p.bridge.Log().On());
  EXPECT_TRUE(p.Checked(app::kCmdDebugLog));
  // The status page started on its new address.
  ASSERT_NE(p.bridge.StatusServer(), nullptr);
  EXPECT_EQ(p.bridge.StatusServer()->Port(), pagePort);
  EXPECT_EQ(p.bridge.CurrentSettings().HttpAddress, "127.0.0.1");
  ASSERT_NE(p.bridge.ClientPort().Pool(), nullptr);
  EXPECT_EQ(p.bridge.ClientPort().Pool()->MaxClients(), 3u);
  ASSERT_EQ(p.bridge.Feeds().Feeds().size(), 1u);
  EXPECT_EQ(p.bridge.Feeds().Feeds()[0]->Name(), "serve:127.0.0.1:" + std::to_string(feedPort));
  // Three clients are served at once on the port the bridge kept, and the
  // JSON output takes readers.
  StreamClient a(port_), b(port_), c(port_);
  EXPECT_TRUE(PumpUntil([&] { return p.bridge.ClientPort().Pool()->Count() == 3; }));
  const SOCKET reader = ConnectRetrying(feedPort);
  EXPECT_NE(reader, INVALID_SOCKET);
  closesocket(reader);
}

TEST_F(OptionsApplyTest, CancelChangesNothing) {
  ProgramFromFile p(ini_);
  const std::string before = ReadFile(ini_);
  p.Options([&](HWND d) {
    SetDlgItemTextA(d, IDC_OPTIONS_RELINK, "9");
    SendMessageW(GetDlgItem(d, IDC_OPTIONS_START_WITH_WINDOWS), BM_CLICK, 0, 0);
    PostMessageW(GetDlgItem(d, IDCANCEL), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(ReadFile(ini_), before);
  EXPECT_EQ(p.bridge.CurrentSettings().RelinkSeconds, 5);
  EXPECT_FALSE(StartsWithWindows());
}

TEST_F(OptionsApplyTest, TheTrayMenusStartWithWindowsSetsAndClearsTheRunValueAndShowsItsState) {
  ProgramFromFile p(ini_);
  SendMessageW(p.form.hwnd(), WM_COMMAND, app::kCmdStartWithWindows, 0);
  EXPECT_TRUE(StartsWithWindows());
  SendMessageW(p.form.hwnd(), WM_COMMAND, app::kCmdStartWithWindows, 0);
  EXPECT_FALSE(StartsWithWindows());

  // Set elsewhere: the menu shows it checked when it opens.
  const std::wstring command = L"\"D:\\Other\\TolvanDDE.exe\" --minimized";
  RegSetKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, REG_SZ, command.c_str(),
                  static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  HMENU tray = p.form.TrayMenu();
  bool checked = false;
  std::thread closer([&] {
    HWND popup = nullptr;
    if (!WaitWithoutPumping([&] { return (popup = FindWindowW(L"#32768", nullptr)) && IsWindowVisible(popup); }))
      return;
    checked = GetMenuState(tray, app::kCmdStartWithWindows, MF_BYCOMMAND) & MF_CHECKED;
    PostMessageW(p.form.hwnd(), WM_CANCELMODE, 0, 0);
    PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
  });
  p.form.Tray()->RaiseTrayMouseEvent(WM_RBUTTONDOWN, 0);
  closer.join();
  EXPECT_TRUE(checked);
}

namespace {

int OptionsDialogsOf(DWORD thread) {
  int count = 0;
  EnumThreadWindows(
      thread,
      [](HWND w, LPARAM l) -> BOOL {
        if (IsWindowVisible(w) && GetDlgItem(w, IDC_OPTIONS_PORT)) ++*reinterpret_cast<int*>(l);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count;
}

}  // namespace

TEST_F(OptionsApplyTest, ASecondOptionsRequestBringsTheOpenDialogToTheFront) {
  ProgramFromFile p(ini_);
  const DWORD thread = GetCurrentThreadId();
  int dialogs = 0;
  HWND front = nullptr, first = nullptr;
  p.Options([&](HWND d) {
    first = d;
    // The tray menu's Options while the dialog is open: the dialog's own
    // message loop hands it to the window.
    PostMessageW(p.form.hwnd(), WM_COMMAND, app::kCmdOptions, 0);
    WaitWithoutPumping([&] { return OptionsDialogsOf(thread) > 1; }, 1000);
    dialogs = OptionsDialogsOf(thread);
    front = GetForegroundWindow();
    // Every dialog closed, the last one first.
    WaitWithoutPumping([&] {
      if (const HWND open = OptionsOf(thread)) PostMessageW(open, WM_COMMAND, IDCANCEL, 0);
      Sleep(50);
      return !IsWindow(d);
    });
  });
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(front, first);
}
