// The keyboard as a user presses it, in the real windows: every menu item
// by its own letter, the statistics window opened with Alt+V, T, copied
// with Ctrl+C and closed with Esc, and the About box closed with Esc.

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "stats/statistics.h"
#include "support/keyboard.h"
#include "support/program_fixture.h"
#include "ui/app_ids.h"
#include "ui/statistics_window.h"

namespace {

const auto* const kWinsock = ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);

std::string ClipboardText() {
  std::string text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT); data != nullptr) {
    text = ToSingleByte(static_cast<const char16_t*>(GlobalLock(data)));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

// The letter after '&' in each item of `menu` and its submenus: one each,
// none twice in one menu.
void ExpectOwnLetters(HMENU menu, const std::string& where) {
  std::set<char> letters;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    if (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) continue;
    const std::string text = MenuText(menu, static_cast<UINT>(i));
    const auto amp = text.find('&');
    ASSERT_NE(amp, std::string::npos) << where << ": " << text;
    EXPECT_TRUE(letters.insert(static_cast<char>(std::tolower(text[amp + 1]))).second) << where << ": " << text;
    if (HMENU sub = GetSubMenu(menu, i)) ExpectOwnLetters(sub, where + " > " + text);
  }
}

}  // namespace

TEST(Keyboard, EveryMenuItemHasALetterOfItsOwn) {
  Program p;
  ExpectOwnLetters(p.form.MenuBar(), "menu bar");
  ExpectOwnLetters(p.form.TrayMenu(), "tray menu");
}

TEST(Keyboard, StatisticsOpenWithAltVTCopyTheirTableWithCtrlCAndCloseWithEsc) {
  Program p;
  SetForegroundWindow(p.form.hwnd());
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == p.form.hwnd(); }));
  Press({VK_MENU, 'V'});
  Press({'T'});
  ASSERT_TRUE(PumpUntil([&] { return p.form.StatisticsView() && IsWindowVisible(p.form.StatisticsView()->hwnd()); }));
  const HWND statistics = p.form.StatisticsView()->hwnd();
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == statistics; }));

  OpenClipboard(nullptr);
  EmptyClipboard();
  CloseClipboard();
  Press({VK_CONTROL, 'C'});
  ASSERT_TRUE(PumpUntil([] { return !ClipboardText().empty(); }));
  const std::string copied = ClipboardText();
  EXPECT_EQ(copied.substr(0, copied.find("\r\n")),
            "Source\tState\tReceived\tForwarded\tFiltered\tDuplicates\tDropped\tNot read\tLast message");
  EXPECT_NE(copied.find("\r\nSkySpy\tunlinked\t0\t0\t0\t0\t0\t0\tnever\r\n"), std::string::npos) << copied;
  EXPECT_NE(copied.find("\r\n\r\nClient\tConnected\tSent\tDropped\r\n(none connected)\r\n"), std::string::npos)
      << copied;

  Press({VK_ESCAPE});
  EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(statistics); }));
}

TEST(Keyboard, EscClosesTheAboutBox) {
  Program p;
  // The box runs its own loop inside the command; a second thread presses
  // Esc once it is up, and closes it by other means if Esc did not.
  std::atomic<bool> closedByEsc = false;
  std::thread user([&] {
    HWND box = nullptr;
    if (!WaitWithoutPumping([&] { return (box = FindMessageBox(GetCurrentProcessId())) != nullptr; }, 5000)) return;
    SetForegroundWindow(box);
    WaitWithoutPumping([&] { return GetForegroundWindow() == box; }, 3000);
    Press({VK_ESCAPE});
    closedByEsc = WaitWithoutPumping([&] { return !IsWindow(box); }, 3000);
    if (!closedByEsc) PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  SendMessageW(p.form.hwnd(), WM_COMMAND, app::kTrayAbout, 0);
  user.join();
  EXPECT_TRUE(closedByEsc);
}
