#include "ui/main_window.h"

#include <algorithm>
#include <iterator>

#include "app/single_copy.h"
#include "inputs/json_inputs.h"
#include "outputs/json_outputs.h"
#include "pipeline/debug_log.h"
#include "pipeline/forwarding.h"
#include "pipeline/single_byte_text.h"
#include "stats/stage_profile.h"
#include "ui/app_ids.h"

#ifdef BRIDGE_PROFILE
#include <cstdlib>
#include <fstream>
#include <map>

#include "win32/heap_walk.h"
#endif

using namespace app;

namespace {

constexpr int kClientWidth = 335;  // pixels at 96 dpi: 5025 x 1950 twips
constexpr int kClientHeight = 130;
constexpr std::size_t kMaxShownChars = 16384;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

Stage TimerStage(WPARAM timer) {
  switch (timer) {
    case kShowTimerId:
      return Stage::Display;
    case kSecondTimerId:
      return Stage::SecondTimer;
    case kStateTimerId:
      return Stage::StateTimer;
    default:
      return Stage::LinkTimers;
  }
}

#ifdef BRIDGE_PROFILE
// The blocks in use on every heap of the process, by size, the sizes that
// hold the most bytes first: where memory that grows with the messages is.
std::string HeapReport() {
  std::map<std::size_t, std::pair<std::size_t, std::size_t>> bySize;  // size -> blocks, bytes
  std::size_t blocks = 0, bytes = 0;
  ForEachHeapBlockInUse([&](std::size_t size) {
    auto& [n, total] = bySize[size];
    ++n;
    total += size;
    ++blocks;
    bytes += size;
  });
  std::vector<std::pair<std::size_t, std::pair<std::size_t, std::size_t>>> sizes(bySize.begin(), bySize.end());
  std::sort(sizes.begin(), sizes.end(), [](const auto& a, const auto& b) { return a.second.second > b.second.second; });
  std::string out = "\nheap blocks in use: " + std::to_string(blocks) + ", " + std::to_string(bytes) + " bytes\n";
  for (std::size_t i = 0; i < sizes.size() && i < 12; ++i) {
    out += "  size " + std::to_string(sizes[i].first) + ": " + std::to_string(sizes[i].second.first) + " blocks, " +
           std::to_string(sizes[i].second.second) + " bytes\n";
  }
  return out;
}
#endif

// The benchmark build writes its stage profile to the file that
// TOLVANDDE_PROFILE names, whenever messages came since the last time: the
// benchmarks end the program without warning.
void WriteProfile([[maybe_unused]] const MessageRouter& router) {
#ifdef BRIDGE_PROFILE
  static std::size_t written = 0;
  std::size_t messages = 0;
  for (std::size_t i = 0; i < router.InputCount(); ++i) messages += router.Counters(i).Received;
  const char* path = std::getenv("TOLVANDDE_PROFILE");
  if (!path || messages == written) return;
  written = messages;
  std::ofstream(path, std::ios::binary | std::ios::trunc) << StageProfileReport(messages) << HeapReport();
#endif
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

// The text as the display shows it. A text box lays out every character it
// holds: a decoder text of a megabyte would stall the window, so only its
// start is shown. Wrapping a long run without a space costs the text box
// time that grows with the square of its length, so such a run gets a line
// break every kLongestRun characters; the lines wrap all the same.
std::string DisplayText(const std::string& text) {
  constexpr std::size_t kLongestRun = 64;
  std::string shown;
  shown.reserve(std::min(text.size(), kMaxShownChars) + 64);
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size() && i < kMaxShownChars; ++i) {
    const char c = text[i];
    const bool space = c == ' ' || c == '\r' || c == '\n' || c == '\t';
    run = space ? 0 : run + 1;
    if (run > kLongestRun) {
      shown += "\r\n";
      run = 1;
    }
    shown += c;
  }
  if (text.size() > kMaxShownChars) shown += "\r\n...";
  return shown;
}

int TwipsToPixels(int twips, int dpi) {
  return MulDiv(twips, dpi, 1440);
}

void SetCheck(HMENU menu, UINT id, bool checked) {
  CheckMenuItem(menu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

bool IsChecked(HMENU menu, UINT id) {
  return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

}  // namespace

frmMain::frmMain(HINSTANCE instance, Settings settings) : mInstance(instance), mSettings(std::move(settings)) {
  if (mSettings.MaxClients > 1) {
    mPool = std::make_unique<ClientPool>(mRouter, static_cast<std::size_t>(mSettings.MaxClients), [](CSocket* socket) {
      return std::make_unique<ClientPortOutput>([socket] { return socket; });
    });
  } else {
    mRouter.AddOutput(mClientOutput);
  }
  if (!mSettings.Capture.empty()) {
    mCapture = std::make_unique<CaptureWriter>(
        CaptureWriter::Options{.Folder = mSettings.Capture, .KeepDays = mSettings.CaptureDays},
        &CaptureWriter::SystemMicros, [this](const std::string& text) {
          ReportError(text);
          if (DebugLogOn()) Log("Capture", text);
        });
    mRouter.SetTap(mCapture.get());
  }
}

frmMain::~frmMain() {
  // Teardown order: the decoder links first (closing one may dispatch data
  // of another), the timer and the socket, the icon out of the tray (which
  // restores the window procedure), then the window itself.
  mEnded = true;
  CloseDecoderLinks();
  // The feeds before the router they are outputs of.
  for (const auto& feed : mFeeds) {
    if (auto* output = dynamic_cast<MessageOutput*>(feed.get())) mRouter.RemoveOutput(*output);
  }
  mFeeds.clear();
  mRouter.SetTap(nullptr);
  mCapture.reset();  // writes what waits
  if (mWindow) {
    for (const UINT_PTR timer : kTimers) KillTimer(mWindow.get(), timer);
  }
  mPool.reset();
  if (wns) wns->SetOwner(nullptr);
  IconEvent.reset();
  if (mWindow) {
    SetWindowLongPtrW(mWindow.get(), GWLP_USERDATA, 0);
    mWindow.reset();
  }
}

void frmMain::Load() {
  CreateMainWindow();
  Form_Load();
  if (mSettings.Minimized) {
    bShown = false;  // in the tray only, until shown from there
  } else {
    ShowWindow(mWindow.get(), SW_SHOWNORMAL);
    UpdateWindow(mWindow.get());
  }
  // The supervision starts only now that wns exists.
  SetTimer(mWindow.get(), kStateTimerId, kStateTimerMs, nullptr);
  SetTimer(mWindow.get(), kLinkWatchTimerId, kLinkWatchTimerMs, nullptr);
  SetTimer(mWindow.get(), kSecondTimerId, 1000, nullptr);
  if (mSettings.RelinkSeconds > 0) {
    SetTimer(mWindow.get(), kRelinkTimerId, static_cast<UINT>(mSettings.RelinkSeconds) * 1000, nullptr);
  }
}

int frmMain::Run() {
  // Start-up has no error handling of its own: whatever fails is shown, and
  // the program ends with a non-zero code.
  auto fail = [](std::int32_t number, const std::string& description) {
    const std::string text = "Run-time error '" + std::to_string(number) + "':\r\n\r\n" + description;
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(ToUtf16(text).c_str()), kCaption, MB_OK | MB_ICONERROR);
    return number != 0 ? number : 1;
  };
  try {
    Load();
  } catch (const SocketError& e) {
    return fail(e.Number, e.Description);
  } catch (const StartupError& e) {
    return fail(e.Number, e.what());
  } catch (const std::exception& e) {
    return fail(1, e.what());
  } catch (...) {
    return fail(1, "Unexpected error.");
  }
  // The loop also ends as soon as the program has ended: the quit message
  // comes only once the queue is empty, which a decoder that publishes
  // without pause may never let happen.
  MSG msg;
  while (!mEnded && GetMessageW(&msg, nullptr, 0, 0) > 0) {
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
  mIcon.reset(static_cast<HICON>(LoadImageW(mInstance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, 32, 32, 0)));
  wc.hIcon = mIcon.get();
  RegisterClassExW(&wc);

  const int dpi = ScreenDpi();
  RECT r{0, 0, MulDiv(kClientWidth, dpi, 96), MulDiv(kClientHeight, dpi, 96)};
  AdjustWindowRectEx(&r, kWindowStyle, TRUE, 0);
  HWND created = CreateWindowExW(0, kMainWindowClass, kCaption, kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                 r.right - r.left, r.bottom - r.top, nullptr, nullptr, mInstance, this);
  if (!mWindow) {
    // Created by another class's procedure (the name was taken), or not at all.
    const auto error = static_cast<std::int32_t>(GetLastError());
    if (created) DestroyWindow(created);
    throw StartupError(error, "Cannot create the window.");
  }
  single_copy::MarkWindow(mWindow.get(), mSettings.Port);

  mDisplay = CreateWindowExW(
      WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY,
      TwipsToPixels(120, dpi), TwipsToPixels(120, dpi), TwipsToPixels(4815, dpi), TwipsToPixels(1455, dpi),
      mWindow.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kDisplayId)), mInstance, nullptr);
  SendMessageW(mDisplay, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  CreateMenuBar();
  mTaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
}

void frmMain::CreateMenuBar() {
  mMenuBar = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, kCmdDebugLog, L"Debug Log");
  AppendMenuW(file, MF_STRING, kCmdExit, L"e&xit");
  HMENU source = CreatePopupMenu();
  AppendMenuW(source, MF_STRING, kCmdSkySpy, L"SkySpy");
  AppendMenuW(source, MF_STRING, kCmdAirmaster, L"Airmaster");
  AppendMenuW(source, MF_STRING, kCmdAirNav, L"AirNav Decoder");
  AppendMenuW(source, MF_STRING, kCmdPosfix, L"Posfix Client");
  AppendMenuW(mMenuBar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
  AppendMenuW(mMenuBar, MF_POPUP, reinterpret_cast<UINT_PTR>(source), L"&Source");
  HMENU view = CreatePopupMenu();
  AppendMenuW(view, MF_STRING, kCmdStatistics, L"S&tatistics");
  AppendMenuW(mMenuBar, MF_POPUP, reinterpret_cast<UINT_PTR>(view), L"&View");
  SetMenu(mWindow.get(), mMenuBar);
  SetCheck(mMenuBar, kCmdDebugLog, mSettings.DebugLog);
}

clsStatusBar& frmMain::StatusBar() {
  // Never re-created once the window is gone: it would have no parent.
  if (!sbStatus && mWindow) {
    sbStatus = std::make_unique<clsStatusBar>();
    sbStatus->Create(mWindow.get());
  }
  return *sbStatus;
}

// ---- start-up and shutdown ----

void frmMain::Form_Load() {
  hTrayMenu.reset(CreatePopupMenu());
  AppendMenuA(hTrayMenu.get(), MF_STRING, kTrayShowForm, "&Show Form");
  AppendMenuA(hTrayMenu.get(), MF_STRING, kTrayAbout, "&About");
  AppendMenuA(hTrayMenu.get(), MF_STRING, kTrayStatistics, "S&tatistics");
  AppendMenuA(hTrayMenu.get(), MF_SEPARATOR, kTrayShowForm, "");
  AppendMenuA(hTrayMenu.get(), MF_STRING, kTrayExit, "&Exit");
  SetMenuDefaultItem(hTrayMenu.get(), 0, TRUE);

  IconEvent = std::make_unique<SysTray>(mWindow.get(), this);
  IconEvent->SetTrayIcon(Picture{Picture::kIcon, mIcon.get()});
  IconEvent->SetFormhWnd(mWindow.get());
  IconEvent->SetTrayTip(std::string(kTrayTip) + '\0');
  IconEvent->SetInTray(true);

  clsStatusBar& bar = StatusBar();
  bar.SetStyle(0);
  for (int panel = 1; const std::int32_t width : {100, 50, 150, 50, -1}) {
    std::int32_t w = width;
    bar.PanelWidth(panel++, w);
  }
  bar.PanelText(kPanelConnection, kServerDisabled);

  StartJsonFeeds();

  mnuSkySpy_Click();
  mnuAirmaster_Click();
  mnuPosfix_Click();
  mnuAirNav_Click();

  wns = CSocket::Create(this);
  wns->SetLocalPort(mSettings.Port);
  if (!mSettings.Bind.empty()) wns->Bind(mSettings.Port, mSettings.Bind);
  wns->Listen();
}

void frmMain::Form_Unload() {
  mRouter.Flush();  // what the outputs kept goes before the sockets close
  if (mPool) mPool->CloseAll();
  CloseClientSocket();
  IconEvent.reset();  // takes the icon out of the tray
  hTrayMenu.reset();
}

void frmMain::mnuExit_Click() {
  CloseDecoderLinks();
  mRouter.Flush();
  if (mPool) mPool->CloseAll();
  CloseClientSocket();
  // Ends at once, without the unload sequence; the icon still goes, so that
  // no dead icon stays in the tray.
  IconEvent.reset();
  EndProgram();
}

void frmMain::EndProgram() {
  mEnded = true;
  for (const UINT_PTR timer : kTimers) KillTimer(mWindow.get(), timer);
  PostQuitMessage(0);
}

void frmMain::CloseDecoderLinks() {
  for (SourceLink& link : mLinks) {
    try {
      link.Box->SetLinkMode(0);
    } catch (...) {
      // Ending a conversation that is already gone has nothing to report.
    }
    if (mMenuBar) SetCheck(mMenuBar, link.Command, false);
  }
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

// ---- menus ----

void frmMain::mnuDebugLog_Click() {
  SetCheck(mMenuBar, kCmdDebugLog, !IsChecked(mMenuBar, kCmdDebugLog));
}

bool frmMain::DebugLogOn() const {
  return !mEnded && mMenuBar && IsChecked(mMenuBar, kCmdDebugLog);
}

// ---- decoder sources ----

void frmMain::mnuSkySpy_Click() {
  ToggleSource(mLinks[0]);
}
void frmMain::mnuAirmaster_Click() {
  ToggleSource(mLinks[1]);
}
void frmMain::mnuAirNav_Click() {
  ToggleSource(mLinks[2]);
}
void frmMain::mnuPosfix_Click() {
  ToggleSource(mLinks[3]);
}

void frmMain::ToggleSource(SourceLink& link) {
  if (IsChecked(mMenuBar, link.Command)) {
    // Unlinked by hand: it stays so until its item is clicked again.
    link.UnlinkedByHand = true;
    mWatchdog.Unlinked(LinkIndex(link));
    try {
      link.Box->SetLinkMode(0);
    } catch (...) {
      // Ending a conversation that is already gone has nothing to report.
    }
    SetCheck(mMenuBar, link.Command, false);
    return;
  }
  link.UnlinkedByHand = false;
  const auto [number, description] = OpenLink(link);
  if (DebugLogOn()) Log(link.Label, std::to_string(number) + "-" + description);
}

// ---- JSON feeds ----

void frmMain::StartJsonFeeds() {
  const JsonFeed::LogSink log = [this](const std::string& des, const std::string& msg) {
    if (DebugLogOn()) Log(des, msg);
  };
  for (const Endpoint& e : mSettings.JsonOut) {
    if (e.Type == Endpoint::Kind::Udp) {
      auto output = std::make_unique<JsonUdpOutput>(e, mJsonEncoder, log);
      mRouter.AddOutput(*output);
      mFeeds.push_back(std::move(output));
    } else if (e.Type == Endpoint::Kind::Tcp) {
      auto output = std::make_unique<JsonTcpOutput>(e, mJsonEncoder, log);
      mRouter.AddOutput(*output);
      mFeeds.push_back(std::move(output));
    } else {
      mFeeds.push_back(std::make_unique<JsonServeOutput>(e, mRouter, mJsonEncoder, log));
    }
  }
  for (const Endpoint& e : mSettings.JsonIn) {
    const auto source = static_cast<DecoderSource>(e.Source.value_or(mSettings.JsonSource));
    if (e.Type == Endpoint::Kind::Udp) {
      mFeeds.push_back(std::make_unique<JsonUdpInput>(e, source, mRouter, log));
    } else {
      mFeeds.push_back(std::make_unique<JsonTcpInput>(e, source, mRouter, log));
    }
  }
}

// ---- statistics and the silence watchdog ----

Statistics frmMain::CurrentStatistics() const {
  Statistics s;
  const double now = UnixSecondsNow();
  for (std::size_t i = 0; i < std::size(mLinks); ++i) {
    const auto& c = mRouter.Counters(i);
    s.Sources.push_back({mRouter.InputName(i), mLinks[i].Box->Connected(), mWatchdog.Silent(i), c.Received, c.Forwarded,
                         c.Filtered, c.Dropped, c.LastMessageAt, c.PerMinute.Last(now), c.NotRead});
  }
  for (const auto& feed : mFeeds) {
    s.Feeds.push_back({feed->Name(), feed->IsInput(), feed->State(), feed->Count(), feed->Lost()});
    const auto* input = dynamic_cast<const JsonInput*>(feed.get());
    if (!input) continue;
    // A JSON input is a source too; what it skipped counts as filtered.
    const auto& c = mRouter.Counters(input->RouterInput());
    const std::string state = feed->State();
    s.Sources.push_back({feed->Name(), state == "connected" || state == "listening", false, c.Received, c.Forwarded,
                         c.Filtered + c.Skipped, c.Dropped, c.LastMessageAt, c.PerMinute.Last(now), c.NotRead});
  }
  if (mPool) {
    for (const auto& c : mPool->Clients()) s.Clients.push_back({c.Address, c.ConnectedSince, c.Sent, c.Dropped});
  } else if (wns && wns->State() == CSocket::StateConnected) {
    s.Clients.push_back({wns->RemoteHostIP() + ":" + std::to_string(wns->RemotePort()), mClientBase.Since,
                         mClientOutput.Kept() - mClientBase.Sent, mClientOutput.Dropped() - mClientBase.Dropped});
  }
  return s;
}

std::string frmMain::TrayTip() const {
  const std::string head = std::string(kTrayTip) + ": ";
  return head + TrayTotals(CurrentStatistics(), 63 - head.size());
}

void frmMain::ShowStatistics() {
  if (!mStatistics) {
    mStatistics = std::make_unique<StatisticsWindow>(mInstance, mWindow.get(), [this] { return CurrentStatistics(); });
  }
  mStatistics->Show();
}

void frmMain::CheckSilence(double now) {
  for (const std::size_t i : mWatchdog.Check(now)) {
    const std::string text =
        mRouter.InputName(i) + ": no message for " + std::to_string(mSettings.SilenceMinutes) + " minutes";
    ReportError(text);
    if (IconEvent) IconEvent->ShowBalloon("No messages", text);
    if (DebugLogOn()) Log("Watchdog", text);
  }
}

void frmMain::SilenceEnded(std::size_t input) {
  const std::string silent = mRouter.InputName(input) + ": no message for ";
  if (mErrorText.rfind(silent, 0) == 0) {
    StatusBar().PanelText(kPanelErrors, "");
    mErrorText.clear();
  }
  if (DebugLogOn()) Log("Watchdog", mRouter.InputName(input) + ": messages again");
}

std::pair<std::int32_t, std::string> frmMain::OpenLink(SourceLink& link) {
  // Every step runs; the last error since the start is what counts.
  std::int32_t number = 0;
  std::string description;
  auto step = [&](auto&& action) {
    try {
      action();
    } catch (const DdeLinkError& e) {
      number = e.Number;
      description = e.what();
    } catch (const std::exception& e) {
      number = -1;
      description = e.what();
    }
  };
  step([&] { link.Box->SetLinkTopic(std::string(link.Application) + "|ACARS"); });
  step([&] { link.Box->SetLinkItem("LiveData"); });
  step([&] { link.Box->SetLinkMode(1); });
  if (number == 0) {
    SetCheck(mMenuBar, link.Command, true);
    mWatchdog.Linked(LinkIndex(link), UnixSecondsNow());
    link.EmptyReported = false;
  }
  return {number, description};
}

void frmMain::SourceGone(SourceLink& link) {
  if (mEnded || !mMenuBar) return;
  mWatchdog.Unlinked(LinkIndex(link));
  SetCheck(mMenuBar, link.Command, false);
  if (DebugLogOn()) Log(link.Label, std::to_string(DMLERR_SERVER_DIED) + "-" + DdeErrorDescription(DMLERR_SERVER_DIED));
}

void frmMain::TextsEmpty(SourceLink& link) {
  if (mEnded || !mWindow) return;
  const std::size_t input = LinkIndex(link);
  mRouter.CountNotRead(input, 1);
  // A decoder that can post no more values under Wine sends every later
  // one empty: the link stays up and nothing else tells the user.
  if (link.EmptyReported) return;
  link.EmptyReported = true;
  const std::string text = mRouter.InputName(input) + ": texts arrive empty; restart the decoder program";
  ReportError(text);
  if (IconEvent) IconEvent->ShowBalloon("Decoder texts empty", text);
  if (DebugLogOn()) Log(link.Label, text);
}

void frmMain::tmr_linkwatch_Timer() {
  for (SourceLink& link : mLinks) {
    // A decoder that was killed, or that ended without the library telling
    // this side, leaves a conversation whose partner window is gone.
    if (link.Box->Connected() && !link.Box->PartnerAlive()) {
      link.Box->SetLinkMode(0);
      SourceGone(link);
    }
  }
}

bool frmMain::WaitingForDecoder(const SourceLink& link) {
  return !link.UnlinkedByHand && !link.Box->Connected();
}

void frmMain::tmr_relink_Timer() {
  // Looking for a decoder sends a message to every top-level window and
  // waits for each answer, tens of milliseconds under Wine: the probe does
  // it on a thread of its own, and a decoder that answered is linked here.
  // The thread costs memory: it runs only while a decoder is missing.
  std::vector<std::pair<std::size_t, std::string>> wanted;
  for (const SourceLink& link : mLinks) {
    if (WaitingForDecoder(link)) wanted.emplace_back(LinkIndex(link), link.Application);
  }
  if (wanted.empty()) {
    mProbe.reset();
    return;
  }
  if (!mProbe) mProbe = std::make_unique<DecoderProbe>(mWindow.get(), kDecoderAnsweredMessage, "ACARS");
  mProbe->Look(std::move(wanted));
}

void frmMain::DecoderAnswered(std::size_t index) {
  if (index >= std::size(mLinks) || !WaitingForDecoder(mLinks[index])) return;
  // Quietly: only a link that comes about is worth a log entry.
  if (OpenLink(mLinks[index]).first == 0 && DebugLogOn()) Log(mLinks[index].Label, "0-");
}

// ---- forwarding ----

void frmMain::SkySpyIn_Change() {
  BoxChanged("SkySpyIn ", SkySpyIn, mSkySpyInput);
}
void frmMain::AM2000In_Change() {
  BoxChanged("AM2000In ", AM2000In, mAirmasterInput);
}
void frmMain::PosfixIn_Change() {
  BoxChanged("PosfixIn ", PosfixIn, mPosfixInput);
}
void frmMain::AirNavIn_Change() {
  BoxChanged("AirNavIn ", AirNavIn, mAirNavInput);
}

void frmMain::BoxChanged(const char* tag, const DdeTextBox& box, std::size_t input) {
  // Data the library still dispatches while the program ends goes nowhere.
  if (mEnded || !mWindow) return;
  const StageTimer timer(Stage::Arrival);
  Guarded(tag, [&] {
    if (mWatchdog.Message(input, UnixSecondsNow())) SilenceEnded(input);
    const std::string text = box.Text();
    if (DebugLogOn()) Log(ChangeLogDescription(tag, text), text);
    SendMsg(text, input);
  });
}

void frmMain::SendMsg(const std::string& inMsg, std::size_t input) {
  mRouter.Submit(inMsg, input);
}

bool frmMain::RequestFlush() {
  // Posted messages are handled in order: the flush comes after every
  // decoder text that is already waiting, and they all go in one send.
  return mWindow && PostMessageW(mWindow.get(), kFlushMessage, 0, 0);
}

void frmMain::ShowLatest(const Latest& latest) {
  // Showing a message takes the program's thread several milliseconds under
  // Wine, during which no decoder text is forwarded. The first message after
  // a quiet second is shown at once; later ones wait for a moment without
  // messages (kQuietMs), and during continuous traffic the latest is shown
  // once a second.
  if (latest.Display) mShownNext.Display = latest.Display;
  if (latest.Panels) mShownNext.Panels = latest.Panels;
  const ULONGLONG now = GetTickCount64();
  mLastArrival = now;
  if (now - mShownAt >= kShowAtLeastEveryMs) {
    ShowNow();
  } else if (mWindow && !mShowTimerSet) {
    mShowTimerSet = SetTimer(mWindow.get(), kShowTimerId, kQuietMs, nullptr) != 0;
  }
}

void frmMain::tmr_show_Timer() {
  const ULONGLONG now = GetTickCount64();
  if (now - mLastArrival >= kQuietMs || now - mShownAt >= kShowAtLeastEveryMs) ShowNow();
}

void frmMain::ShowNow() {
  const StageTimer timer(Stage::Display);
  if (mShowTimerSet && mWindow) KillTimer(mWindow.get(), kShowTimerId);
  mShowTimerSet = false;
  mShownAt = GetTickCount64();
  const Latest latest = std::exchange(mShownNext, {});
  if (latest.Display && mDisplay) {
    // Under Wine a visible multi-line text box with a scroll bar takes about
    // 20 ms to take a new text, a hidden one 2 ms; the program's thread
    // forwards nothing meanwhile. It is hidden for the change and shown again
    // (and painted with the window's next paint).
    const bool visible = IsWindowVisible(mDisplay);
    const bool focused = GetFocus() == mDisplay;
    if (visible) ShowWindow(mDisplay, SW_HIDE);
    SetWindowTextW(mDisplay, reinterpret_cast<const wchar_t*>(ToUtf16(DisplayText(*latest.Display)).c_str()));
    if (visible) ShowWindow(mDisplay, SW_SHOWNA);
    if (focused) SetFocus(mDisplay);
  }
  if (latest.Panels && mWindow) {
    StatusBar().PanelText(kPanelRegistration, latest.Panels->first);
    StatusBar().PanelText(kPanelFlight, latest.Panels->second);
  }
}

void frmMain::MessageDropped(const MessageOutput&, std::uint64_t totalDropped) {
  const StageTimer timer(Stage::Display);
  if (mWindow) StatusBar().PanelText(kPanelDrops, "Lost " + std::to_string(totalDropped));
}

void frmMain::Log(const std::string& des, const std::string& msg) {
  try {
    REZUZ2ARI::WriteDebugLog(des, msg);
  } catch (const REZUZ2ARI::DebugLogError& e) {
    ReportError(e.what());
  }
}

// ---- client supervision ----

void frmMain::tmr_state_Timer() {
  if (!wns) return;
  switch (wns->State()) {
    case CSocket::StateClosed:
      StatusBar().PanelText(kPanelConnection, kServerDisabled);
      Relisten();
      break;
    case CSocket::StateListening:
      if (mPool) {
        mPool->Reap();
        StatusBar().PanelText(kPanelConnection, ClientsConnectedText(mPool->Count()));
      } else {
        StatusBar().PanelText(kPanelConnection, kWaitingForClient);
      }
      break;
    case CSocket::StateConnected:
      StatusBar().PanelText(kPanelConnection, kClientConnected);
      break;
    case CSocket::StateError:
      StatusBar().PanelText(kPanelConnection, kReconnect);
      Relisten();
      break;
    default:
      break;
  }
}

void frmMain::CloseClientSocket() {
  if (!wns) return;
  // The single client's records that its socket still holds are lost with
  // it: counted before the socket forgets them.
  if (!mPool) mClientOutput.Close();
  wns->CloseSocket();
}

void frmMain::Relisten() {
  CloseClientSocket();
  // Every local address again, as at start-up, not only the one the last
  // client came through.
  wns->Bind(0, mSettings.Bind.empty() ? "0.0.0.0" : mSettings.Bind);
  wns->Listen();
  // Listening again clears the error an earlier re-listen reported, and
  // leaves any other error where the user can read it.
  if (!mRelistenError.empty() && mErrorText == mRelistenError) {
    StatusBar().PanelText(kPanelErrors, "");
    mErrorText.clear();
  }
  mRelistenError.clear();
}

void frmMain::wns_OnConnectionRequest(std::intptr_t requestID) {
  if (mPool) {
    // Several clients: the server goes on listening.
    mPool->Accept(requestID);
    StatusBar().PanelText(kPanelConnection, ClientsConnectedText(mPool->Count()));
    return;
  }
  CloseClientSocket();
  wns->Accept(requestID);
  wns->SendWithoutDelay();
  mClientBase = {UnixSecondsNow(), mClientOutput.Kept(), mClientOutput.Dropped()};
  StatusBar().PanelText(kPanelConnection, kConnect);
}

void frmMain::OnConnectionRequest(CSocket&, std::intptr_t requestID) {
  Guarded("wns_OnConnectionRequest", [&] { wns_OnConnectionRequest(requestID); });
}

void frmMain::OnDataArrival(CSocket& socket, std::int32_t) {
  // The client is not expected to send anything; what it sends is dropped so
  // that it cannot fill the program's memory.
  Guarded("wns_OnDataArrival", [&] {
    SocketValue discarded;
    socket.GetData(discarded, vbByteArray);
  });
}

// ---- tray ----

void frmMain::MouseDown(std::int16_t Button, std::int32_t) {
  if (Button != 2) return;
  POINT p{};
  GetCursorPos(&p);
  SetForegroundWindow(mWindow.get());  // or the menu would not close on a click elsewhere
  TrackPopupMenu(hTrayMenu.get(), TPM_CENTERALIGN | TPM_RIGHTBUTTON, p.x, p.y, 0, mWindow.get(), nullptr);
  PostMessageW(mWindow.get(), WM_NULL, 0, 0);
}

void frmMain::MouseDblClick(std::int16_t Button, std::int32_t) {
  if (Button == 1) ShowWindow(mWindow.get(), SW_SHOW);
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
      // Unloaded from the message loop, once this command has been handled.
      PostMessageW(mWindow.get(), WM_CLOSE, 0, 0);
      break;
    default:
      break;
  }
}

// ---- messages ----

template <typename Handler>
void frmMain::Guarded(const char* where, Handler&& handler) {
  try {
    handler();
  } catch (...) {
    ReportError(where, std::current_exception());
  }
}

void frmMain::ReportError(const char* where, std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const SocketError& e) {
    ReportError(std::string(where) + ": " + std::to_string(e.Number) + " " + e.Description);
  } catch (const std::exception& e) {
    ReportError(std::string(where) + ": " + e.what());
  } catch (...) {
    ReportError(std::string(where) + ": unexpected error");
  }
}

void frmMain::ReportError(const std::string& text) {
  if (!mWindow) return;
  StatusBar().PanelText(kPanelErrors, text);
  mErrorText = text;
}

void frmMain::OnCommand(UINT id) {
  switch (id) {
    case kCmdDebugLog:
      Guarded("mnuDebugLog_Click", [&] { mnuDebugLog_Click(); });
      break;
    case kCmdExit:
      Guarded("mnuExit_Click", [&] { mnuExit_Click(); });
      break;
    case kCmdSkySpy:
      Guarded("mnuSkySpy_Click", [&] { mnuSkySpy_Click(); });
      break;
    case kCmdAirmaster:
      Guarded("mnuAirmaster_Click", [&] { mnuAirmaster_Click(); });
      break;
    case kCmdAirNav:
      Guarded("mnuAirNav_Click", [&] { mnuAirNav_Click(); });
      break;
    case kCmdPosfix:
      Guarded("mnuPosfix_Click", [&] { mnuPosfix_Click(); });
      break;
    case kCmdStatistics:
      Guarded("mnuStatistics_Click", [&] { ShowStatistics(); });
      break;
    default:
      break;  // tray popup commands arrive as MenuClick
  }
}

LRESULT frmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == 0 && lParam == 0) OnCommand(LOWORD(wParam));
      return 0;
    case WM_TIMER: {
      const StageTimer timer(TimerStage(wParam));
      if (wParam == kRelinkTimerId) Guarded("tmr_relink_Timer", [&] { tmr_relink_Timer(); });
      if (wParam == kLinkWatchTimerId) Guarded("tmr_linkwatch_Timer", [&] { tmr_linkwatch_Timer(); });
      if (wParam == kShowTimerId) Guarded("ShowLatest", [&] { tmr_show_Timer(); });
      if (wParam == kSecondTimerId) {
        Guarded("tmr_second_Timer", [&] {
          const double now = UnixSecondsNow();
          CheckSilence(now);
          for (const auto& feed : mFeeds) feed->Tick(now);
          if (mCapture) mCapture->Tick();
          // The tip goes to the task bar's process and waits for it
          // (milliseconds under Wine): during continuous traffic it is
          // brought up to date every ten seconds.
          const ULONGLONG tick = GetTickCount64();
          if (IconEvent && (tick - mLastArrival >= kQuietMs || tick - mTipAt >= kTipEveryMsUnderLoad)) {
            mTipAt = tick;
            IconEvent->SetTrayTip(TrayTip());
          }
          WriteProfile(mRouter);
        });
      }
      if (wParam == kStateTimerId) {
        try {
          tmr_state_Timer();
        } catch (...) {
          ReportError("tmr_state_Timer", std::current_exception());
          mRelistenError = mErrorText;
        }
      }
      return 0;
    }
    case kFlushMessage:
      mRouter.Flush();
      return 0;
    case kDecoderAnsweredMessage:
      Guarded("tmr_relink_Timer", [&] { DecoderAnswered(wParam); });
      return 0;
    case WM_SIZE:
      Guarded("Form_Resize", [&] { Form_Resize(wParam); });
      break;
    case WM_CLOSE:
      DestroyWindow(mWindow.get());
      return 0;
    case WM_DESTROY:
      KillTimer(mWindow.get(), kStateTimerId);
      mProbe.reset();
      CloseDecoderLinks();
      if (!mEnded) {
        mEnded = true;
        Guarded("Form_Unload", [&] { Form_Unload(); });
        PostQuitMessage(0);
      }
      IconEvent.reset();
      sbStatus.reset();  // a child window: it goes with this one
      return 0;
    default:
      if (message == mTaskbarCreated && message != 0 && IconEvent) IconEvent->Readd();
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
    self->mDisplay = nullptr;
    self->mMenuBar = nullptr;  // destroyed with the window
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return self->HandleMessage(message, wParam, lParam);
}
