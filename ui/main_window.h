#pragma once
// frmMain: the program's one window. It owns the listening/client socket
// `wns`, the tray icon `IconEvent`, the status bar `sbStatus` and the tray
// popup menu for the whole run, and handles their events.
// GUI thread only. Handlers can nest (message boxes, the popup menu and the
// message-loop passes of the forwarding run modal loops); every handler
// catches its own errors and reports them in the status bar, so none can end
// the program or unwind through the system's dispatcher.

#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "capture/capture_writer.h"
#include "inputs/dde_link.h"
#include "inputs/decoder_probe.h"
#include "inputs/silence_watchdog.h"
#include "net/csocket.h"
#include "net/json_feed.h"
#include "outputs/client_pool.h"
#include "outputs/client_port_output.h"
#include "outputs/json_line_encoder.h"
#include "router/message_router.h"
#include "settings/settings.h"
#include "stats/statistics.h"
#include "ui/app_ids.h"
#include "ui/statistics_window.h"
#include "ui/status_bar.h"
#include "ui/sys_tray.h"
#include "win32/win32_handles.h"

// A start-up step that failed: the number the program ends with and the
// text of its message box.
class StartupError : public std::runtime_error {
 public:
  StartupError(std::int32_t number, const std::string& description) : std::runtime_error(description), Number(number) {}
  std::int32_t Number;
};

class frmMain : public CSocketEvents, public SysTrayEvents, private RouterEvents {
 public:
  explicit frmMain(HINSTANCE instance, Settings settings = {});
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
  // Links again every decoder source that is not linked, unless its link was
  // ended by hand, and notices decoders that went away without a word.
  void tmr_relink_Timer();
  // Notices linked decoders that are gone.
  void tmr_linkwatch_Timer();
  void wns_OnConnectionRequest(std::intptr_t requestID);
  void SkySpyIn_Change();
  void AM2000In_Change();
  void PosfixIn_Change();
  void AirNavIn_Change();
  // Hands one decoder text from one of the four inputs to the router.
  void SendMsg(const std::string& inMsg, std::size_t input);

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
  const ClientPool* Pool() const { return mPool.get(); }
  // The counters of every source and client, as the statistics window
  // shows them.
  Statistics CurrentStatistics() const;
  // The tray icon's tip: the program's name and the totals.
  std::string TrayTip() const;
  // Opens the statistics window (View > Statistics, and the tray menu).
  void ShowStatistics();
  StatisticsWindow* StatisticsView() const { return mStatistics.get(); }
  // The JSON inputs and outputs, in the order of the settings: outputs
  // first.
  const std::vector<std::unique_ptr<JsonFeed>>& JsonFeeds() const { return mFeeds; }
  // Reports every linked decoder silent for longer than the limit at `now`
  // (Unix seconds); the one-second timer calls it with the clock.
  void CheckSilence(double now);
  SysTray* Tray() const { return IconEvent.get(); }
  clsStatusBar& StatusBar();
  bool Shown() const { return bShown; }
  bool Ended() const { return mEnded; }
  bool DebugLogOn() const;
  std::uint64_t DroppedMessages() const { return mRouter.TotalDropped(); }
  MessageRouter& Router() { return mRouter; }
  const Settings& CurrentSettings() const { return mSettings; }

  // The hidden DDE input boxes of the four decoder sources.
  DdeTextBox SkySpyIn{
      {[this] { SkySpyIn_Change(); }, [this] { SourceGone(mLinks[0]); }, [this] { TextsEmpty(mLinks[0]); }}};
  DdeTextBox AM2000In{
      {[this] { AM2000In_Change(); }, [this] { SourceGone(mLinks[1]); }, [this] { TextsEmpty(mLinks[1]); }}};
  DdeTextBox PosfixIn{
      {[this] { PosfixIn_Change(); }, [this] { SourceGone(mLinks[3]); }, [this] { TextsEmpty(mLinks[3]); }}};
  DdeTextBox AirNavIn{
      {[this] { AirNavIn_Change(); }, [this] { SourceGone(mLinks[2]); }, [this] { TextsEmpty(mLinks[2]); }}};

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateMainWindow();
  void CreateMenuBar();
  void OnCommand(UINT id);
  // Puts the server back to listening on every local address.
  void Relisten();
  // Closes wns, counting what the single client never got.
  void CloseClientSocket();
  // Runs a handler; whatever it raises is reported in the status bar.
  template <typename Handler>
  void Guarded(const char* where, Handler&& handler);
  void ReportError(const std::string& text);
  void EndProgram();
  // One decoder source: its menu item, box, DDE application and log label.
  struct SourceLink {
    UINT Command;
    DdeTextBox* Box;
    const char* Application;
    const char* Label;
    bool UnlinkedByHand = false;
    bool EmptyReported = false;  // since the link was opened
  };
  // Opens or closes one decoder's link, by its Source menu item.
  void ToggleSource(SourceLink& link);
  // Opens the link and checks its item when that works; DDEML's error
  // number (0 when linked) and text.
  std::pair<std::int32_t, std::string> OpenLink(SourceLink& link);
  static bool WaitingForDecoder(const SourceLink& link);
  // The probe found the decoder of mLinks[index]: it is linked.
  void DecoderAnswered(std::size_t index);
  // The decoder ended the conversation, or was found gone.
  void SourceGone(SourceLink& link);
  // A text arrived empty or unreadable: counted, and reported once a link.
  void TextsEmpty(SourceLink& link);
  std::size_t LinkIndex(const SourceLink& link) const { return static_cast<std::size_t>(&link - mLinks); }
  // A silent decoder spoke again: its report goes.
  void SilenceEnded(std::size_t input);
  void BoxChanged(const char* tag, const DdeTextBox& box, std::size_t input);
  // Ends the four DDE conversations, so that no decoder text reaches a
  // window that is going away.
  void CloseDecoderLinks();

  // What the router tells the window.
  void ShowLatest(const Latest& latest) override;
  // Puts what waits to be shown into the display and the panels.
  void ShowNow();
  void tmr_show_Timer();
  // A moment without messages, in which the window's slow work is done.
  static constexpr ULONGLONG kQuietMs = 20;
  static constexpr ULONGLONG kShowAtLeastEveryMs = 1000;
  static constexpr ULONGLONG kTipEveryMsUnderLoad = 10000;
  void MessageDropped(const MessageOutput& output, std::uint64_t totalDropped) override;
  bool LogEnabled() override { return DebugLogOn(); }
  // A debug-log entry; a log that cannot be written is reported, and the
  // forwarding goes on.
  void Log(const std::string& des, const std::string& msg) override;
  void ReportError(const char* where, std::exception_ptr error) override;
  // Posts the flush behind the messages that wait in the queue now.
  bool RequestFlush() override;
  std::uint64_t NowMs() override { return GetTickCount64(); }

  HINSTANCE mInstance;
  Settings mSettings;
  UniqueWindow mWindow;
  HWND mDisplay = nullptr;
  HMENU mMenuBar = nullptr;  // owned by the window
  UniqueIcon mIcon;
  UINT mTaskbarCreated = 0;
  bool mEnded = false;
  // Panel 5's text, and the part of it that the last re-listen reported: a
  // good re-listen clears its own error, never another one.
  std::string mErrorText;
  std::string mRelistenError;
  Latest mShownNext;  // waits for the display's next turn
  SilenceWatchdog mWatchdog{4, mSettings.SilenceMinutes * 60.0};
  std::unique_ptr<StatisticsWindow> mStatistics;
  std::unique_ptr<DecoderProbe> mProbe;  // looks for decoders that are not linked
  // The single client's start and the output's counts at that moment.
  struct {
    double Since = 0;
    std::uint64_t Sent = 0, Dropped = 0;
  } mClientBase;
  ULONGLONG mShownAt = 0;
  ULONGLONG mLastArrival = 0;  // when the router last had a message to show
  ULONGLONG mTipAt = 0;        // when the tray tip was last brought up to date
  bool mShowTimerSet = false;

  std::shared_ptr<CSocket> wns;
  std::unique_ptr<SysTray> IconEvent;
  std::unique_ptr<clsStatusBar> sbStatus;
  UniqueMenu hTrayMenu;
  bool bShown = false;

  // In the order of the Source menu.
  SourceLink mLinks[4] = {{app::kCmdSkySpy, &SkySpyIn, "SkySpy", "SkySpy:"},
                          {app::kCmdAirmaster, &AM2000In, "WinACARS", "AM2000"},
                          {app::kCmdAirNav, &AirNavIn, "ANAD", "AirNav"},
                          {app::kCmdPosfix, &PosfixIn, "POSFIX", "ZADEDEV"}};
  // The capture (--capture): the router's tap, so it is made before the
  // router and goes after it.
  std::unique_ptr<CaptureWriter> mCapture;
  MessageRouter mRouter{*this};
  // One client (the socket itself is accepted into), or several.
  ClientPortOutput mClientOutput{[this] { return wns.get(); }};
  std::unique_ptr<ClientPool> mPool;
  std::size_t mSkySpyInput = mRouter.AddInput("SkySpy", DecoderSource::SkySpy);
  std::size_t mAirmasterInput = mRouter.AddInput("Airmaster", DecoderSource::Airmaster);
  std::size_t mAirNavInput = mRouter.AddInput("AirNav", DecoderSource::AirNavPosfix);
  std::size_t mPosfixInput = mRouter.AddInput("Posfix", DecoderSource::AirNavPosfix);
  JsonLineEncoder mJsonEncoder{mSettings, BRIDGE_VERSION};
  std::vector<std::unique_ptr<JsonFeed>> mFeeds;
  // Starts the JSON inputs and outputs of the settings.
  void StartJsonFeeds();
};
