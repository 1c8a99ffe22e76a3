#include "app/bridge.h"

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

void Bridge::Start(BridgeView& view, HWND window, UINT flushMessage, UINT answeredMessage, UINT partnerGoneMessage) {
  mView = &view;
  mWindow = window;
  mFlushMessage = flushMessage;
  mFeeds.Start(mSettings);
  mLinks.Start(*this, window, answeredMessage, partnerGoneMessage);
  mClientPort.Listen();
}

void Bridge::Shutdown() {
  if (mEnded) return;
  mEnded = true;
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
  if (mView) mView->Report(key, text, balloon);
}

void Bridge::Cleared(ReportKey key) {
  if (mView) mView->Cleared(key);
}

void Bridge::ConnectionState(const std::string& text) {
  if (mView) mView->ConnectionState(text);
}

void Bridge::LinkChanged(std::size_t link, bool linked) {
  if (mView) mView->LinkChanged(link, linked);
}
