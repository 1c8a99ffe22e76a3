#include "ui/sys_tray.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/windows_test_util.h"

namespace {

struct TrayRecorder : SysTrayEvents {
  std::vector<std::string> events;
  void MouseMove(std::int32_t id) override { events.push_back("MouseMove " + std::to_string(id)); }
  void MouseDown(std::int16_t b, std::int32_t id) override { Add("MouseDown", b, id); }
  void MouseUp(std::int16_t b, std::int32_t id) override { Add("MouseUp", b, id); }
  void MouseDblClick(std::int16_t b, std::int32_t id) override { Add("MouseDblClick", b, id); }
  void MenuClick(std::int16_t index) override { events.push_back("MenuClick " + std::to_string(index)); }
  void Add(const char* what, int b, int id) {
    events.push_back(std::string(what) + " " + std::to_string(b) + " " + std::to_string(id));
  }
};

}  // namespace

TEST(SysTray, ShownTwiceSubclassesOnceAndHiddenRestores) {
  TestWindow window;
  const auto original = GetWindowLongPtrW(window.hwnd, GWLP_WNDPROC);
  TrayRecorder events;
  {
    SysTray tray(window.hwnd, &events);
    EXPECT_FALSE(tray.InTray());
    tray.SetInTray(false);  // never shown: nothing changes
    EXPECT_EQ(GetWindowLongPtrW(window.hwnd, GWLP_WNDPROC), original);

    tray.SetInTray(true);
    tray.SetInTray(true);
    EXPECT_TRUE(tray.InTray());
    EXPECT_EQ(GetWindowLongPtrW(window.hwnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&Module1::TrayWindowProc));
    // Subclassed once: a message reaches the window's own procedure once.
    SendMessageW(window.hwnd, WM_USER + 7, 0, 0);
    EXPECT_EQ(TestWindow::messagesSeen, 1);

    tray.SetInTray(false);
    EXPECT_EQ(GetWindowLongPtrW(window.hwnd, GWLP_WNDPROC), original);
    tray.SetInTray(true);
  }
  // Destruction takes the icon away and restores the procedure.
  EXPECT_EQ(GetWindowLongPtrW(window.hwnd, GWLP_WNDPROC), original);
}

TEST(SysTray, MouseMessagesAndMenuCommandsBecomeEvents) {
  TestWindow window;
  TrayRecorder events;
  SysTray tray(window.hwnd, &events);
  tray.SetInTray(true);

  const std::vector<std::pair<LPARAM, std::string>> mouse = {
      {512, "MouseMove 0"},   {513, "MouseDown 1 0"}, {514, "MouseUp 1 0"},      {515, "MouseDblClick 1 0"},
      {516, "MouseDown 2 0"}, {517, "MouseUp 2 0"},   {518, "MouseDblClick 2 0"}};
  for (const auto& [message, expected] : mouse) {
    events.events.clear();
    SendMessageW(window.hwnd, SysTray::kNotifyMessage, 0, message);
    EXPECT_EQ(events.events, std::vector<std::string>{expected}) << message;
  }
  events.events.clear();
  SendMessageW(window.hwnd, SysTray::kNotifyMessage, 0, 519);  // middle button: nothing
  SendMessageW(window.hwnd, SysTray::kNotifyMessage, 0, 521);
  EXPECT_TRUE(events.events.empty());

  TestWindow::messagesSeen = 0;
  SendMessageW(window.hwnd, WM_COMMAND, 8194, 0);
  EXPECT_EQ(events.events, std::vector<std::string>{"MenuClick 2"});
  SendMessageW(window.hwnd, WM_COMMAND, 73728, 0);  // upper half not 0
  SendMessageW(window.hwnd, WM_COMMAND, 100, 0);    // bit 0x2000 clear
  EXPECT_EQ(events.events.size(), 1u);
  // Every one of them still reached the window's own procedure.
  EXPECT_EQ(TestWindow::messagesSeen, 3);
}

TEST(SysTray, OnlyIconsAreAccepted) {
  TestWindow window;
  SysTray tray(window.hwnd, nullptr);
  HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
  tray.SetTrayIcon(Picture{Picture::kIcon, icon});
  HBITMAP bitmap = CreateBitmap(8, 8, 1, 1, nullptr);
  tray.SetTrayIcon(Picture{1, bitmap});
  EXPECT_EQ(tray.TrayIcon().Handle, icon);
  tray.SetTrayTip("Zizizer ODO Rerido");
  EXPECT_EQ(tray.TrayTip(), "Zizizer ODO Rerido");
  tray.SetFormhWnd(window.hwnd);
  EXPECT_EQ(tray.FormhWnd(), window.hwnd);
  DeleteObject(bitmap);
}
