#pragma once
// SysTray: one icon with a tooltip in the notification area, and the mouse
// actions on it and the commands of its popup menu as events.
// While the icon is shown, the window given at construction is subclassed by
// Module1::TrayWindowProc, which raises the events of the active SysTray and
// then passes every message on to the window's own procedure.
// GUI thread only. The window must outlive the shown icon; destroying the
// object removes the icon and restores the window procedure.

#include <windows.h>

#include <cstdint>
#include <string>

class SysTrayEvents {
 public:
  virtual void MouseMove(std::int32_t /*Id*/) {}
  virtual void MouseDown(std::int16_t /*Button*/, std::int32_t /*Id*/) {}
  virtual void MouseUp(std::int16_t /*Button*/, std::int32_t /*Id*/) {}
  virtual void MouseDblClick(std::int16_t /*Button*/, std::int32_t /*Id*/) {}
  virtual void MenuClick(std::int16_t /*index*/) {}

 protected:
  ~SysTrayEvents() = default;
};

// A picture as the tray accepts it: only type 3 (an icon) is shown.
struct Picture {
  static constexpr int kIcon = 3;
  int Type = 0;
  HANDLE Handle = nullptr;
};

class SysTray {
 public:
  static constexpr UINT kNotifyMessage = WM_USER + 101;  // 1125
  static constexpr WORD kMenuCommandBit = 0x2000;

  SysTray(HWND window, SysTrayEvents* events);
  ~SysTray();
  SysTray(const SysTray&) = delete;
  SysTray& operator=(const SysTray&) = delete;

  void SetTrayIcon(const Picture& Icon);
  const Picture& TrayIcon() const { return mIcon; }
  void SetFormhWnd(HWND hwnd) { mFormhWnd = hwnd; }
  HWND FormhWnd() const { return mFormhWnd; }
  void SetTrayTip(const std::string& Tip);
  const std::string& TrayTip() const { return mTip; }
  void SetInTray(bool Show);
  bool InTray() const { return mInTray; }

  // Called by the tray window procedure.
  void RaiseTrayMouseEvent(std::int32_t message, std::int32_t id);
  void RaiseMenuClick(std::int16_t index);

  // Puts the icon back after the desktop's shell has restarted.
  void Readd();
  // A balloon beside the icon with a title and a text (a warning); false
  // when the shell did not take it.
  bool ShowBalloon(const std::string& title, const std::string& text);

 private:
  void AddIcon();
  void DeleteIcon();
  void Modify(UINT flags);

  bool mInTray = false;
  std::uint32_t mIconId = 0;
  std::string mTip;
  HWND mWindow;
  Picture mIcon;
  bool mShown = false;
  HWND mFormhWnd = nullptr;
  SysTrayEvents* mEvents;
};

namespace Module1 {
// The subclassing procedure of the window whose icon is shown.
LRESULT CALLBACK TrayWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
}  // namespace Module1
