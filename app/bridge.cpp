#include "app/bridge.h"

#include <psapi.h>

#include <utility>

#include "app/profile_report.h"
#include "net/socket_error.h"
#include "pipeline/single_byte_text.h"

Bridge::Bridge(Settings settings) : mSettings(std::move(settings)) {
  mRouter.SetDuplicateSeconds(static_cast<std::uint32_t>(mSettings.DedupSeconds));
  if (!mSettings.Capture.empty()) {
    mCapture = std::make_unique<CaptureWriter>(
        CaptureWriter::Options{.Folder = mSettings.Capture, .KeepDays = mSettings.CaptureDays},
        &CaptureWriter::SystemMicros, [this](const std::string& utf8) {
          // The reports name the folder, which is UTF-8 as the settings are;
          // the status bar and the log take single-byte text.
          const std::string text = Utf8ToSingleByte(utf8);
          Report({ReportKey::Kind::Capture}, text, nullptr);
          mLog.Write("Capture", text);
        });
    mRouter.SetTap(mCapture.get());
  }
}

Bridge::~Bridge() {
  Shutdown();
}

void Bridge::Start(BridgeView& view, HWND window, UINT flushMessage, UINT answeredMessage) {
  mView = &view;
  mWindow = window;
  mFlushMessage = flushMessage;
  mFeeds.Start(mSettings);
  mLinks.Start(*this, window, answeredMessage);
  mClientPort.Listen();
  StartStatusPage();
}

void Bridge::StartStatusPage() {
  mHttp.reset();
  mRouter.RemoveOutput(mRecent);
  if (mSettings.HttpPort == 0) return;
  mRouter.AddOutput(mRecent);
  PublishStatus();
  try {
    mHttp = std::make_unique<HttpServer>(mBoard, mSettings.HttpAddress, static_cast<std::uint16_t>(mSettings.HttpPort));
    Cleared({ReportKey::Kind::StatusPage});
  } catch (const std::exception& e) {
    Report({ReportKey::Kind::StatusPage}, e.what(), nullptr);
    mLog.Write("Status page", e.what());
  }
}

void Bridge::PublishStatus() {
  // Only while it runs (from Start to Shutdown) and serves a page.
  if (!mView || mSettings.HttpPort == 0) return;
  StatusSnapshot s;
  s.Version = BRIDGE_VERSION;
  s.SettingsFile = mSettingsFile;
  s.StartedAt = mStartedAt;
  s.Now = UnixSecondsNow();
  const CSocket* port = mClientPort.Socket();
  s.ClientPortListening =
      port && (port->State() == CSocket::StateListening || port->State() == CSocket::StateConnected);
  s.Decoders = DecoderLinks::kCount;
  std::tie(s.ClientPortSent, s.ClientPortDropped) = mClientPort.Totals();
  PROCESS_MEMORY_COUNTERS memory{};
  if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) s.ResidentBytes = memory.WorkingSetSize;
  s.Stats = CurrentStatistics();
  s.CaptureCannotWrite = mCapture && mCapture->CannotWrite();
  CarryOutputTimes(s, *mBoard.Latest());
  for (auto& [key, text] : mStanding.Standing()) s.Reports.push_back({key, std::move(text)});
  s.Recent = mRecent.Newest();
  mBoard.Publish(std::move(s));
  mPublishedAt = GetTickCount64();
}

void Bridge::Shutdown() {
  if (mEnded) return;
  mEnded = true;
  // The status page first: its thread ends and lets go of the board.
  mHttp.reset();
  mRouter.RemoveOutput(mRecent);
  // The links first: closing one may still dispatch another's text, which
  // then goes out with the rest.
  mLinks.Close();
  mRouter.Flush();
  mClientPort.Close();
  mFeeds.Stop();
  // What waits for the disk is written before the program ends.
  mRouter.SetTap(nullptr);
  mCapture.reset();
  mView = nullptr;
  mWindow = nullptr;
  mLog.SetOn(false);
}

void Bridge::ApplySettings(Settings next) {
  // The clients know the port, and the one-copy-per-port rule holds this
  // copy to it: both stay for this run.
  next.Port = mSettings.Port;
  next.Bind = mSettings.Bind;
  // The capture writer is made at the start, with its folder: a new one
  // waits for the next start too.
  next.Capture = mSettings.Capture;
  next.CaptureDays = mSettings.CaptureDays;
  const bool feedsChanged = next.JsonOut != mSettings.JsonOut || next.JsonIn != mSettings.JsonIn ||
                            next.JsonSource != mSettings.JsonSource || next.StationId != mSettings.StationId ||
                            next.Freq != mSettings.Freq || next.DecoderFreq != mSettings.DecoderFreq;
  if (next.DebugLog != mSettings.DebugLog) mLog.SetOn(next.DebugLog);
  // A new window forgets the messages remembered: only when it changes.
  const bool dedupChanged = next.DedupSeconds != mSettings.DedupSeconds;
  const bool pageChanged = next.HttpAddress != mSettings.HttpAddress || next.HttpPort != mSettings.HttpPort;
  mSettings = std::move(next);
  mLinks.SetSilenceMinutes(mSettings.SilenceMinutes);
  if (dedupChanged) mRouter.SetDuplicateSeconds(static_cast<std::uint32_t>(mSettings.DedupSeconds));
  if (mEnded) return;
  // The feeds start again with the new settings even when the client port
  // cannot take its new setting.
  try {
    mClientPort.ServeAtOnce(mSettings.MaxClients);
  } catch (...) {
    ReportError("ApplySettings", std::current_exception());
  }
  if (pageChanged) StartStatusPage();
  if (feedsChanged) {
    mFeeds.Stop();
    mEncoder.SetStation(mSettings);
    try {
      mFeeds.Start(mSettings);
    } catch (...) {
      ReportError("ApplySettings", std::current_exception());
    }
  }
}

void Bridge::EverySecond(double now) {
  mLinks.CheckSilence(now);
  mFeeds.Tick(now);
  if (mCapture) mCapture->Tick();
  WriteProfile(mRouter);
  PublishStatus();
}

Statistics Bridge::CurrentStatistics() const {
  Statistics s;
  const double now = UnixSecondsNow();
  mLinks.AddRows(s, now);
  mFeeds.AddRows(s, now);
  mClientPort.AddRows(s);
  return s;
}

void Bridge::ShowLatest(const Latest& latest) {
  if (mView) mView->ShowLatest(latest);
  // During a burst the router shows the latest message ten times a second;
  // the page is a second behind at most either way.
  if (mView && GetTickCount64() - mPublishedAt >= kPublishEveryMs) PublishStatus();
}

void Bridge::MessageDropped(const MessageOutput&, std::uint64_t totalDropped) {
  if (mView) mView->ShowDropped(totalDropped);
}

void Bridge::ReportError(const char* where, std::exception_ptr error) {
  Report({}, DescribeError(where, std::move(error)), nullptr);
}

bool Bridge::RequestFlush() {
  // Posted messages are handled in order: the flush comes after every
  // decoder text that is already waiting, and they all go in one send.
  return mWindow && PostMessageW(mWindow, mFlushMessage, 0, 0);
}

void Bridge::Report(ReportKey key, const std::string& text, const char* balloon) {
  mStanding.Report(key, text);
  if (mView) mView->Report(key, text, balloon);
  PublishStatus();
}

void Bridge::Cleared(ReportKey key) {
  mStanding.Clear(key);
  if (mView) mView->Cleared(key);
  PublishStatus();
}

void Bridge::ConnectionState(const std::string& text) {
  if (mView) mView->ConnectionState(text);
}

void Bridge::LinkChanged(std::size_t link, bool linked) {
  if (mView) mView->LinkChanged(link, linked);
}
