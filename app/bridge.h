#pragma once
// Bridge: the program without its window. It owns the router and the
// components around it, in the order they depend on each other: the debug
// log's switch, the router, the JSON encoding, the four decoder links, the
// client port and the JSON feeds. It is the router's observer and passes on
// to the view (the main window) what the user should see. Every way of
// ending the program ends in Shutdown(), once. GUI thread only.
//
// A message's way: a decoder publishes a text, DDEML calls the link's text
// box (inputs/dde_link), DecoderLinks hands the text to the router
// (router/message_router), which parses it and builds its frame once, then
// gives it to every output: the client port (outputs/client_port_server,
// outputs/client_port_output) and the JSON outputs (outputs/json_outputs).
// With a capture folder set, the router first hands every arrival to the
// capture (capture/capture_writer).

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "app/json_feed_set.h"
#include "capture/capture_writer.h"
#include "common/debug_logger.h"
#include "common/reporter.h"
#include "inputs/decoder_links.h"
#include "outputs/client_port_server.h"
#include "outputs/json_line_encoder.h"
#include "router/message_router.h"
#include "settings/settings.h"
#include "stats/statistics.h"
#include "ui/error_panel.h"
#include "web/http_server.h"
#include "web/recent_messages.h"
#include "web/status_snapshot.h"

// What the bridge tells the window.
class BridgeView : public Reporter, public DecoderLinks::Events, public ClientPortServer::Events {
 public:
  // The latest message for the display and status panels 2 and 3.
  virtual void ShowLatest(const RouterEvents::Latest& latest) = 0;
  // Status panel 4: every output's drops so far.
  virtual void ShowDropped(std::uint64_t totalDropped) = 0;

 protected:
  ~BridgeView() = default;
};

class Bridge : private RouterEvents, private Reporter, private DecoderLinks::Events, private ClientPortServer::Events {
 public:
  explicit Bridge(Settings settings);
  ~Bridge();
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  // Starts the JSON feeds, the decoder links and the client port, reporting
  // to `view`. `window` is posted `flushMessage` when records wait to be
  // sent (call Flush then) and `answeredMessage` when the probe found a
  // decoder (call Links().DecoderAnswered). A start-up error is raised.
  void Start(BridgeView& view, HWND window, UINT flushMessage, UINT answeredMessage);
  // Ends the links (no text arrives afterwards), sends what the outputs
  // kept, disconnects the clients, closes the port and ends the feeds; from
  // then on nothing reaches the view. A second call does nothing.
  void Shutdown();
  bool Ended() const { return mEnded; }

  // New settings while running (the Options dialog's OK): the JSON feeds
  // start again when they or the station changed, and the silence report,
  // duplicate suppression, the debug log (when its setting changed) and the
  // clients served at once take the new values. The client port and its
  // address, and the capture, stay until the next start. A feed that cannot
  // start (a port that is taken) is reported like any error; the rest is
  // applied.
  void ApplySettings(Settings next);

  // The flush the router asked for.
  void Flush() { mRouter.Flush(); }
  // Once a second: the silence watchdog, the feeds' reconnections and the
  // status page's snapshot.
  void EverySecond(double now);
  // The settings file of this run, for the status page.
  void SetSettingsFile(std::string path) { mSettingsFile = std::move(path); }
  // The status page's server while it runs, and what it serves.
  const HttpServer* StatusServer() const { return mHttp.get(); }
  const SnapshotBoard& StatusBoard() const { return mBoard; }

  DebugLogger& Log() { return mLog; }
  DecoderLinks& Links() { return mLinks; }
  ClientPortServer& ClientPort() { return mClientPort; }
  const JsonFeedSet& Feeds() const { return mFeeds; }
  MessageRouter& Router() { return mRouter; }
  const Settings& CurrentSettings() const { return mSettings; }
  // The counters of every source, feed and client, as the statistics
  // window shows them.
  Statistics CurrentStatistics() const;

 private:
  // RouterEvents.
  void ShowLatest(const Latest& latest) override;
  void MessageDropped(const MessageOutput& output, std::uint64_t totalDropped) override;
  bool LogEnabled() override { return mLog.On(); }
  void Log(const std::string& description, const std::string& message) override { mLog.Write(description, message); }
  void ReportError(const char* where, std::exception_ptr error) override;
  // Posts the flush behind the messages that wait in the queue now.
  bool RequestFlush() override;
  std::uint64_t NowMs() override { return GetTickCount64(); }
  // What the components report: passed to the view while there is one.
  // The window's teardown calls Shutdown, so that nothing reaches a window
  // that is gone.
  void Report(ReportKey key, const std::string& text, const char* balloon) override;
  void Cleared(ReportKey key) override;
  void ConnectionState(const std::string& text) override;
  void LinkChanged(std::size_t link, bool linked) override;
  // The status page: its server on the settings' address and port (a port
  // that is taken is reported, and the bridge runs on without it), and the
  // snapshot it serves.
  void StartStatusPage();
  void PublishStatus();

  Settings mSettings;
  BridgeView* mView = nullptr;
  HWND mWindow = nullptr;
  UINT mFlushMessage = 0;
  bool mEnded = false;
  DebugLogger mLog{mSettings.DebugLog, this};
  // Sees every text and object as it arrives, when a capture folder is set;
  // it outlives the router.
  std::unique_ptr<CaptureWriter> mCapture;
  MessageRouter mRouter{*this};
  JsonLineEncoder mEncoder{mSettings, BRIDGE_VERSION};
  DecoderLinks mLinks{mRouter, mLog, *this, mSettings.SilenceMinutes};
  ClientPortServer mClientPort{mRouter, mSettings, *this, *this};
  JsonFeedSet mFeeds{mRouter, mEncoder, mLog};
  // What the status page shows; the server reads only the board's copies.
  std::string mSettingsFile;
  double mStartedAt = UnixSecondsNow();
  ErrorPanel mStanding;
  RecentMessages mRecent{mRouter};
  SnapshotBoard mBoard;
  static constexpr std::uint64_t kPublishEveryMs = 250;  // at most, when messages come
  std::uint64_t mPublishedAt = 0;
  std::unique_ptr<HttpServer> mHttp;
};
