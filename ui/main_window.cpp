#include "ui/main_window.h"

#include <shellapi.h>

#include <algorithm>
#include <stdexcept>

#include "app/single_copy.h"
#include "net/socket_error.h"
#include "settings/start_with_windows.h"
#include "stats/stage_profile.h"
#include "ui/app_ids.h"
#include "ui/main_menu.h"
#include "ui/options_dialog.h"
#include "ui/window_dpi.h"
#include "web/status_page.h"
#include "win32/message_loop.h"

using namespace app;

namespace {

// The client area in pixels at 96 dpi: wide enough for the four sized status
// panels and, beside them, a decoder's report in the fifth.
constexpr int kClientWidth = 720;
constexpr int kClientHeight = 130;
constexpr int kBoxGap = 2;  // pixels at 96 dpi between the text box and the status bar
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// The client area at `dpi`.
SIZE ClientSize(int dpi) {
  return SIZE{Scaled(kClientWidth, dpi), Scaled(kClientHeight, dpi)};
}

// The program's icon at a size of the system's.
HICON LoadIconSized(HINSTANCE instance, int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), 0));
}

}  // namespace

frmMain::frmMain(HINSTANCE instance, Bridge& bridge, std::vector<std::string> arguments)
    : mInstance(instance), mBridge(bridge), mArguments(std::move(arguments)) {}

frmMain::~frmMain() {
  // The bridge stops reporting before anything of the window goes.
  mBridge.Shutdown();
  StopTimers();
  mTray.reset();  // takes the icon out of the tray and restores the window procedure
  if (mWindow) {
    SetWindowLongPtrW(mWindow.get(), GWLP_USERDATA, 0);
    mWindow.reset();
  }
}

void frmMain::Load() {
  CreateMainWindow();
  Form_Load();
  if (mBridge.CurrentSettings().Minimized) {
    bShown = false;  // in the tray only, until shown from there
  } else {
    ShowWindow(mWindow.get(), SW_SHOWNORMAL);
    UpdateWindow(mWindow.get());
  }
  // The supervision starts only now that the port is open.
  StartTimer(kStateTimerId, kStateTimerMs);
  StartTimer(kLinkWatchTimerId, kLinkWatchTimerMs);
  StartTimer(kSecondTimerId, 1000);
  if (const std::int32_t relink = mBridge.CurrentSettings().RelinkSeconds; relink > 0) {
    StartTimer(kRelinkTimerId, static_cast<DWORD>(relink) * 1000);
  }
}

void frmMain::StartTimer(UINT_PTR id, DWORD periodMs) {
  StopTimer(id);
  mTimers.push_back(std::make_unique<PostedTimer>(mWindow.get(), id, periodMs));
}

void frmMain::StopTimer(UINT_PTR id) {
  std::erase_if(mTimers, [id](const auto& timer) { return timer->Id() == id; });
}

void frmMain::StopTimers() {
  mTimers.clear();
  if (mWindow) KillTimer(mWindow.get(), kShowTimerId);
}

int frmMain::Run() {
  // Start-up has no error handling of its own: whatever fails is shown, and
  // the program ends with a non-zero code.
  try {
    Load();
  } catch (...) {
    return ShowStartupError(std::current_exception());
  }
  // The loop also ends as soon as the program has ended: the quit message
  // comes only once the queue is empty, which a decoder that publishes
  // without pause may never let happen.
  MessageLoop loop;
  MSG msg;
  while (!mEnded && loop.Next(msg, true)) {
    const StageTimer timer(Stage::Loop);
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

void frmMain::CreateMainWindow() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &frmMain::WindowProc;
  wc.hInstance = mInstance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainWindowClass;
  mIcon.reset(LoadIconSized(mInstance, SM_CXICON, SM_CYICON));
  mSmallIcon.reset(LoadIconSized(mInstance, SM_CXSMICON, SM_CYSMICON));
  wc.hIcon = mIcon.get();
  wc.hIconSm = mSmallIcon.get();
  RegisterClassExW(&wc);

  // At the screen's scale first; Layout puts it at its monitor's.
  const int dpi = WindowDpi(nullptr);
  const SIZE size = WindowSizeFor(ClientSize(dpi), kWindowStyle, true, dpi);
  HWND created = CreateWindowExW(0, kMainWindowClass, kCaption, kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, size.cx,
                                 size.cy, nullptr, nullptr, mInstance, this);
  if (!mWindow) {
    // Created by another class's procedure (the name was taken), or not at all.
    const auto error = static_cast<std::int32_t>(GetLastError());
    if (created) DestroyWindow(created);
    throw StartupError(error, "Cannot create the window.");
  }
  single_copy::MarkWindow(mWindow.get(), mBridge.CurrentSettings().Port);

  mDisplay.Create(mWindow.get(), mInstance, kDisplayId, dpi);
  mMenuBar = CreateMainMenu();
  SetMenu(mWindow.get(), mMenuBar);
  SetMenuCheck(mMenuBar, kCmdDebugLog, mBridge.Log().On());
  mTaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
}

void frmMain::Form_Load() {
  mTray =
      std::make_unique<::TrayMenu>(mWindow.get(), mSmallIcon.get(), [this](std::int16_t index) { MenuClick(index); });
  mPanels.Create(mWindow.get());
  Layout(WindowDpi(mWindow.get()));
  mBridge.Start(*this, mWindow.get(), kFlushMessage, kDecoderAnsweredMessage);
}

void frmMain::Layout(int dpi) {
  // The frame as the window has it now (its menu bar and borders at the
  // scale the system draws them), around the client area at this scale.
  RECT outer{}, inner{};
  GetWindowRect(mWindow.get(), &outer);
  GetClientRect(mWindow.get(), &inner);
  const SIZE client = ClientSize(dpi);
  SetWindowPos(mWindow.get(), nullptr, 0, 0, client.cx + (outer.right - outer.left) - inner.right,
               client.cy + (outer.bottom - outer.top) - inner.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The old font goes only once no control uses it.
  UniqueGdiObject font = MessageFont(dpi);
  mPanels.Layout(mWindow.get(), dpi, static_cast<HFONT>(font.get()));
  // The bar's height comes from its font and the system's metrics: the box
  // ends above it whatever it became.
  RECT bar{};
  GetWindowRect(mPanels.Bar().hWnd(), &bar);
  MapWindowPoints(nullptr, mWindow.get(), reinterpret_cast<POINT*>(&bar), 2);
  mDisplay.Layout(dpi, static_cast<HFONT>(font.get()), bar.top - Scaled(kBoxGap, dpi));
  mFont = std::move(font);
}

void frmMain::EndProgram() {
  mEnded = true;
  mBridge.Shutdown();
  // The icon goes, so that no dead icon stays in the tray.
  mTray.reset();
  StopTimers();
  PostQuitMessage(0);
}

void frmMain::mnuExit_Click() {
  EndProgram();
}

void frmMain::Form_Resize(WPARAM sizeType) {
  if (sizeType == SIZE_MINIMIZED && bShown) {
    ShowWindow(mWindow.get(), SW_HIDE);
    bShown = false;
  } else {
    if (IsIconic(mWindow.get()) || IsZoomed(mWindow.get())) ShowWindow(mWindow.get(), SW_RESTORE);
    bShown = true;
  }
}

void frmMain::mnuDebugLog_Click() {
  DebugLogger& log = mBridge.Log();
  log.SetOn(!log.On());
  SetMenuCheck(mMenuBar, kCmdDebugLog, log.On());
}

void frmMain::mnuOptions_Click() {
  const std::optional<Settings> next = EditOptions(mWindow.get(), mInstance, mArguments);
  if (!next || mEnded) return;
  const std::int32_t relink = mBridge.CurrentSettings().RelinkSeconds;
  mBridge.ApplySettings(*next);
  SetMenuCheck(mMenuBar, kCmdDebugLog, mBridge.Log().On());
  if (const std::int32_t now = mBridge.CurrentSettings().RelinkSeconds; now != relink) {
    StopTimer(kRelinkTimerId);
    if (now > 0) StartTimer(kRelinkTimerId, static_cast<DWORD>(now) * 1000);
  }
}

void frmMain::mnuStartWithWindows_Click() {
  SetStartWithWindows(!StartsWithWindows());
}

void frmMain::OpenStatusPage() {
  const Settings& s = mBridge.CurrentSettings();
  if (!mBridge.StatusServer()) {
    throw std::runtime_error(s.HttpPort == 0 ? "The status page is off (--http 0)."
                                             : "The status page is not running.");
  }
  const std::string url = StatusPageUrl(s.HttpAddress, mBridge.StatusServer()->Port());
  ShellExecuteA(mWindow.get(), "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::string frmMain::TrayTip() const {
  const std::string head = std::string(kTrayTip) + ": ";
  return head + TrayTotals(mBridge.CurrentStatistics(), 63 - head.size());
}

void frmMain::ShowStatistics() {
  if (!mStatistics) {
    mStatistics =
        std::make_unique<StatisticsWindow>(mInstance, mWindow.get(), [this] { return mBridge.CurrentStatistics(); });
  }
  mStatistics->Show();
}

void frmMain::Report(ReportKey key, const std::string& text, const char* balloon) {
  if (mEnded || !mWindow) return;
  mPanels.Report(key, text);
  if (balloon && mTray) mTray->Icon().ShowBalloon(balloon, text);
}

void frmMain::Cleared(ReportKey key) {
  mPanels.Cleared(key);
}

void frmMain::LinkChanged(std::size_t link, bool linked) {
  if (link < std::size(kSourceCommands)) SetMenuCheck(mMenuBar, kSourceCommands[link].Command, linked);
}

void frmMain::ConnectionState(const std::string& text) {
  mPanels.Connection(text);
}

void frmMain::ShowLatest(const RouterEvents::Latest& latest) {
  mDisplay.Arrived(latest);
}

void frmMain::ShowDropped(std::uint64_t totalDropped) {
  const StageTimer timer(Stage::Display);
  mPanels.Dropped(totalDropped);
}

void frmMain::MenuClick(std::int16_t index) {
  switch (index) {
    case kIndexShowForm:
      ShowWindow(mWindow.get(), SW_SHOW);
      if (IsIconic(mWindow.get()) || IsZoomed(mWindow.get())) ShowWindow(mWindow.get(), SW_RESTORE);
      break;
    case kIndexAbout:
      MessageBoxA(mWindow.get(), kAboutText, kAboutTitle, MB_OK | MB_ICONEXCLAMATION);
      break;
    case kIndexStatistics:
      ShowStatistics();
      break;
    case kIndexExit:
      // Ends from the message loop, once this command has been handled.
      PostMessageW(mWindow.get(), WM_CLOSE, 0, 0);
      break;
    default:
      break;
  }
}

template <typename Handler>
void frmMain::Guarded(const char* where, Handler&& handler) {
  try {
    handler();
  } catch (...) {
    Report({}, DescribeError(where, std::current_exception()), nullptr);
  }
}

void frmMain::OnCommand(UINT id) {
  for (std::size_t link = 0; link < std::size(kSourceCommands); ++link) {
    if (id == kSourceCommands[link].Command) {
      Guarded(kSourceCommands[link].Handler, [&] { mBridge.Links().Toggle(link); });
      return;
    }
  }
  // Tray popup commands arrive as MenuClick, apart from these.
  static constexpr struct {
    UINT Command;
    const char* Where;
    void (frmMain::*Handler)();
  } kHandlers[] = {{kCmdDebugLog, "mnuDebugLog_Click", &frmMain::mnuDebugLog_Click},
                   {kCmdExit, "mnuExit_Click", &frmMain::mnuExit_Click},
                   {kCmdStatistics, "mnuStatistics_Click", &frmMain::ShowStatistics},
                   {kCmdOptions, "mnuOptions_Click", &frmMain::mnuOptions_Click},
                   {kCmdStatusPage, "mnuStatusPage_Click", &frmMain::OpenStatusPage},
                   {kCmdStartWithWindows, "mnuStartWithWindows_Click", &frmMain::mnuStartWithWindows_Click}};
  for (const auto& h : kHandlers) {
    if (id == h.Command) Guarded(h.Where, [&] { (this->*h.Handler)(); });
  }
}

void frmMain::OnTimer(WPARAM timer) {
  if (timer != kShowTimerId) {
    // A tick posted before its timer stopped has nothing left to do.
    const auto it = std::find_if(mTimers.begin(), mTimers.end(), [timer](const auto& t) { return t->Id() == timer; });
    if (it == mTimers.end()) return;
    (*it)->Arrived();
  }
  const StageTimer stage(timer == kShowTimerId     ? Stage::Display
                         : timer == kSecondTimerId ? Stage::SecondTimer
                         : timer == kStateTimerId  ? Stage::StateTimer
                                                   : Stage::LinkTimers);
  switch (timer) {
    case kStateTimerId:
      mBridge.ClientPort().tmr_state_Timer();
      break;
    case kRelinkTimerId:
      Guarded("tmr_relink_Timer", [&] { mBridge.Links().tmr_relink_Timer(); });
      break;
    case kLinkWatchTimerId:
      Guarded("tmr_linkwatch_Timer", [&] { mBridge.Links().tmr_linkwatch_Timer(); });
      break;
    case kShowTimerId:
      Guarded("ShowLatest", [&] { mDisplay.TimerTick(); });
      break;
    case kSecondTimerId:
      Guarded("tmr_second_Timer", [&] {
        mBridge.EverySecond(UnixSecondsNow());
        // The tip goes to the task bar's process and waits for it
        // (milliseconds under Wine).
        if (mTray && mDisplay.TipDue()) mTray->Icon().SetTrayTip(TrayTip());
      });
      break;
    default:
      break;
  }
}

LRESULT frmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == 0 && lParam == 0) OnCommand(LOWORD(wParam));
      return 0;
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case kFlushMessage:
      mBridge.Flush();
      return 0;
    case kDecoderAnsweredMessage:
      Guarded("tmr_relink_Timer", [&] { mBridge.Links().DecoderAnswered(wParam); });
      return 0;
    case WM_SIZE:
      Guarded("Form_Resize", [&] { Form_Resize(wParam); });
      break;
    case kDpiChangedMessage: {
      // Moved to a monitor of another scale: where Windows suggests, then
      // everything made again for the new scale.
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(mWindow.get(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      Layout(HIWORD(wParam));
      return 0;
    }
    case WM_CLOSE:
      DestroyWindow(mWindow.get());
      return 0;
    case WM_DESTROY:
      if (!mEnded) Guarded("Form_Unload", [&] { EndProgram(); });
      mPanels.Destroyed();  // a child window: it goes with this one
      return 0;
    default:
      if (message == mTaskbarCreated && message != 0 && mTray) mTray->Icon().Readd();
      if (message == single_copy::ShowMessage()) {
        // Another start on this port: this copy comes to the front instead.
        Guarded("ShowYourself", [&] { MenuClick(kIndexShowForm); });
        SetForegroundWindow(mWindow.get());
        return 0;
      }
      break;
  }
  return DefWindowProcW(mWindow.get(), message, wParam, lParam);
}

LRESULT CALLBACK frmMain::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<frmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->mWindow.reset(hwnd);
  }
  auto* self = reinterpret_cast<frmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->mWindow.release();  // the system has destroyed it
    self->mDisplay.Destroyed();
    self->mMenuBar = nullptr;  // destroyed with the window
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return self->HandleMessage(message, wParam, lParam);
}
