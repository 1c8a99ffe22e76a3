#pragma once
// frmMain: the program's one window. It owns the listening/client socket
// `wns`, the tray icon `IconEvent`, the status bar `sbStatus` and the tray
// popup menu for the whole run, and handles their events.
// GUI thread only. Handlers can nest (message boxes, the popup menu and the
// message-loop passes of the forwarding run modal loops); every handler
// catches its own errors and reports them in the status bar, so none can end
// the program or unwind through the system's dispatcher.

#include <windows.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "csocket.h"
#include "dde_link.h"
#include "status_bar.h"
#include "sys_tray.h"
#include "win32_handles.h"

class frmMain : public CSocketEvents, public SysTrayEvents {
 public:
  explicit frmMain(HINSTANCE instance);
  ~frmMain();
  frmMain(const frmMain&) = delete;
  frmMain& operator=(const frmMain&) = delete;

  // Creates the window and runs Form_Load; the window is then shown and the
  // supervision timer started. A start-up error is raised to the caller.
  void Load();
  // Load, then the message loop; a start-up error is shown in a message box.
  // Returns the program's exit code.
  int Run();

  // Handlers.
  void Form_Load();
  void Form_Unload();
  void Form_Resize(WPARAM sizeType);
  void mnuExit_Click();
  void mnuDebugLog_Click();
  void mnuSkySpy_Click();
  void mnuAirmaster_Click();
  void mnuAirNav_Click();
  void mnuPosfix_Click();
  void tmr_state_Timer();
  void wns_OnConnectionRequest(std::intptr_t requestID);
  void SkySpyIn_Change();
  void AM2000In_Change();
  void PosfixIn_Change();
  void AirNavIn_Change();
  // Forwards one decoder text. A text that arrives while another is being
  // sent (the sends pump the message loop) waits and goes right after it, so
  // that every header is followed directly by its own frame text.
  void SendMsg(const std::string& inMsg, std::int32_t DDESource);

  // Tray icon events.
  void MouseDown(std::int16_t Button, std::int32_t Id) override;
  void MouseDblClick(std::int16_t Button, std::int32_t Id) override;
  void MenuClick(std::int16_t index) override;

  // Socket events.
  void OnConnectionRequest(CSocket&, std::intptr_t requestID) override;
  void OnDataArrival(CSocket&, std::int32_t bytesTotal) override;

  HWND hwnd() const { return mWindow.get(); }
  HWND dspMsg() const { return mDisplay; }
  HMENU MenuBar() const { return mMenuBar; }
  HMENU TrayMenu() const { return hTrayMenu.get(); }
  CSocket* Socket() const { return wns.get(); }
  SysTray* Tray() const { return IconEvent.get(); }
  clsStatusBar& StatusBar();
  bool Shown() const { return bShown; }
  bool Ended() const { return mEnded; }
  bool DebugLogOn() const;
  std::uint64_t DroppedMessages() const { return mDroppedMessages; }

  // The hidden DDE input boxes of the four decoder sources.
  DdeTextBox SkySpyIn{[this] { SkySpyIn_Change(); }};
  DdeTextBox AM2000In{[this] { AM2000In_Change(); }};
  DdeTextBox PosfixIn{[this] { PosfixIn_Change(); }};
  DdeTextBox AirNavIn{[this] { AirNavIn_Change(); }};

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateMainWindow();
  void CreateMenuBar();
  void OnCommand(UINT id);
  // Puts the server back to listening on every local address.
  void Relisten();
  // Runs a handler; whatever it raises is reported in the status bar.
  template <typename Handler>
  void Guarded(const char* where, Handler&& handler);
  void ReportError(const std::string& text);
  void EndProgram();
  // Opens or closes one decoder's link, by its Source menu item.
  void ToggleSource(UINT command, DdeTextBox& box, const char* application, const char* label);
  void BoxChanged(const char* tag, const DdeTextBox& box, std::int32_t source);
  // Steps of forwarding one text up to the send: the record's bytes, or
  // nothing when the text is not to be sent. `batched`: bytes of records
  // prepared before it and not yet handed to the socket.
  std::string PrepareRecord(const std::string& inMsg, std::int32_t DDESource, std::size_t batched);
  // Puts the latest message into dspMsg and the status panels.
  void ShowLatest();
  // A debug-log entry; a log that cannot be written is reported, and the
  // forwarding goes on.
  void Log(const std::string& des, const std::string& msg);

  HINSTANCE mInstance;
  UniqueWindow mWindow;
  HWND mDisplay = nullptr;
  HMENU mMenuBar = nullptr;  // owned by the window
  UniqueIcon mIcon;
  UINT mTaskbarCreated = 0;
  bool mEnded = false;
  bool mErrorShown = false;

  std::shared_ptr<CSocket> wns;
  std::unique_ptr<SysTray> IconEvent;
  std::unique_ptr<clsStatusBar> sbStatus;
  UniqueMenu hTrayMenu;
  bool bShown = false;

  struct PendingText {
    std::string text;
    std::int32_t source;
  };
  std::deque<PendingText> mPending;
  bool mForwarding = false;
  // Redrawing the display for every message of a burst would cost more than
  // the forwarding itself: during a burst the window shows the latest
  // message a few times a second, and always the last one at its end.
  static constexpr ULONGLONG kShowIntervalMs = 100;
  // The most record bytes handed to the socket in one send.
  static constexpr std::size_t kBatchBytes = 64 * 1024;
  struct Latest {
    std::optional<std::string> display;
    std::optional<std::pair<std::string, std::string>> panels;  // registration, flight
  } mLatest;
  ULONGLONG mShownAt = 0;
  std::uint64_t mDroppedMessages = 0;
};

// One pass of the message loop: dispatches what is queued, then returns.
void DoEvents();
