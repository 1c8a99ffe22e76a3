#pragma once
// frmMain: the program's one window: the display, the menus, the status
// bar, the tray icon and the timers. It passes the user's commands to the
// bridge and shows what the bridge reports; the bridge owns everything that
// forwards messages. GUI thread only. Handlers can nest (message boxes, the
// popup menu and the message-loop passes of the forwarding run modal
// loops); every handler catches its own errors and reports them in the
// status bar, so none can end the program or unwind through the system's
// dispatcher.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/bridge.h"
#include "ui/app_ids.h"
#include "ui/message_display.h"
#include "ui/startup_error.h"
#include "ui/statistics_window.h"
#include "ui/status_panels.h"
#include "ui/tray_menu.h"
#include "win32/posted_timer.h"
#include "win32/win32_handles.h"

class frmMain : private BridgeView {
 public:
  // `arguments`: the command line, which overrides the settings file for
  // this run (the Options dialog says so, and applies what it wrote with
  // them).
  frmMain(HINSTANCE instance, Bridge& bridge, std::vector<std::string> arguments = {});
  ~frmMain();
  frmMain(const frmMain&) = delete;
  frmMain& operator=(const frmMain&) = delete;

  // Creates the window and runs Form_Load; the window is then shown and the
  // timers started. A start-up error is raised to the caller.
  void Load();
  // Load, then the message loop; a start-up error is shown in a message box.
  // Returns the program's exit code.
  int Run();

  void Form_Load();
  void Form_Resize(WPARAM sizeType);
  void mnuExit_Click();
  void mnuDebugLog_Click();
  // File > Options... and the tray menu's Options...: the dialog, then what
  // it wrote applied to the running program.
  void mnuOptions_Click();
  // The tray menu's Start with Windows: the Run value added or removed.
  void mnuStartWithWindows_Click();
  // Opens the status page in the default browser.
  void OpenStatusPage();
  // Opens the statistics window (View > Statistics, and the tray menu).
  void ShowStatistics();

  // The tray menu's commands, by their index.
  void MenuClick(std::int16_t index);

  HWND hwnd() const { return mWindow.get(); }
  HWND dspMsg() const { return mDisplay.Box(); }
  HMENU MenuBar() const { return mMenuBar; }
  HMENU TrayMenu() const { return mTray ? mTray->Menu() : nullptr; }
  SysTray* Tray() const { return mTray ? &mTray->Icon() : nullptr; }
  clsStatusBar& StatusBar() { return mPanels.Bar(); }
  StatisticsWindow* StatisticsView() const { return mStatistics.get(); }
  // The tray icon's tip: the program's name and the totals.
  std::string TrayTip() const;
  bool Shown() const { return bShown; }
  bool Ended() const { return mEnded; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnTimer(WPARAM timer);
  // The supervision's timers tick ahead of the queue (see PostedTimer);
  // the display's pacing keeps an ordinary one.
  void StartTimer(UINT_PTR id, DWORD periodMs);
  void StopTimer(UINT_PTR id);
  void StopTimers();
  void OnCommand(UINT id);
  void CreateMainWindow();
  // Fonts, sizes and places made for `dpi`.
  void Layout(int dpi);
  // Every way of ending: the bridge shuts down, the icon leaves the tray,
  // the timers stop and the message loop ends.
  void EndProgram();
  // Runs a handler; whatever it raises is reported in the status bar.
  template <typename Handler>
  void Guarded(const char* where, Handler&& handler);

  // What the bridge reports.
  void Report(ReportKey key, const std::string& text, const char* balloon) override;
  void Cleared(ReportKey key) override;
  void LinkChanged(std::size_t link, bool linked) override;
  void ConnectionState(const std::string& text) override;
  void ShowLatest(const RouterEvents::Latest& latest) override;
  void ShowDropped(std::uint64_t totalDropped) override;

  HINSTANCE mInstance;
  Bridge& mBridge;
  std::vector<std::string> mArguments;
  UniqueWindow mWindow;
  HMENU mMenuBar = nullptr;  // owned by the window
  UniqueIcon mIcon;
  UniqueIcon mSmallIcon;  // the tray's and the title bar's
  UniqueGdiObject mFont;  // the display's and the status bar's
  UINT mTaskbarCreated = 0;
  bool mEnded = false;
  bool bShown = false;
  StatusPanels mPanels;
  MessageDisplay mDisplay{app::kShowTimerId, [this](const std::string& registration, const std::string& flight) {
                            mPanels.Latest(registration, flight);
                          }};
  std::unique_ptr<StatisticsWindow> mStatistics;
  std::unique_ptr<::TrayMenu> mTray;
  std::vector<std::unique_ptr<PostedTimer>> mTimers;
};
