#pragma once
// StatusSnapshot: what the status page, the metrics and the health check
// show, as one plain copy. The bridge makes it on its own thread (once a
// second and when a message arrives) and publishes it on a SnapshotBoard;
// the HTTP server's thread reads only the copy it gets from the board and
// never the components themselves. No platform header.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/reporter.h"
#include "stats/statistics.h"

struct StatusSnapshot {
  // One message as the page lists it.
  struct Message {
    double At = 0;  // Unix seconds
    std::string Source, Registration, Flight, Label, Text;
  };
  // A report standing in status panel 5.
  struct Report {
    ReportKey Key;
    std::string Text;
  };

  std::string Version;
  std::string SettingsFile;
  double StartedAt = 0;  // Unix seconds
  double Now = 0;
  std::uint64_t Sequence = 0;  // set by the board: counts the publications
  bool ClientPortListening = false;
  std::size_t Decoders = 0;  // the first Stats.Sources are the decoders', the rest JSON inputs'
  std::uint64_t ClientPortSent = 0, ClientPortDropped = 0;  // every client's so far, those gone too
  std::uint64_t ResidentBytes = 0;
  // A capture folder is set and nothing reaches it: its file cannot be
  // written, or the capture has stopped.
  bool CaptureCannotWrite = false;
  Statistics Stats;
  std::map<std::string, double> OutputDownSince;   // each JSON output that is down: since when
  std::map<std::string, double> OutputLastSendAt;  // each JSON output that has sent: when its count last rose
  std::vector<Report> Reports;                     // newest first
  std::vector<Message> Recent;                     // newest first
};

// The name of the client port among the outputs.
inline constexpr const char* kClientPortOutput = "client port";

// Whether a JSON feed's state (as the statistics show it) is working.
bool FeedIsUp(const std::string& state);

// Fills next.OutputDownSince and next.OutputLastSendAt from
// next.Stats.Feeds and the snapshot before it: an output down in `previous`
// too keeps the time it went down, one that just went down is down since
// next.Now; an output whose sent count rose since `previous` (or that first
// shows with some sent) last sent at next.Now, the others keep their time.
void CarryOutputTimes(StatusSnapshot& next, const StatusSnapshot& previous);

// The latest snapshot, shared between the bridge's thread (which publishes)
// and the server's (which reads). A reader keeps the copy it got as long
// as it needs it.
class SnapshotBoard {
 public:
  SnapshotBoard();
  void Publish(StatusSnapshot snapshot);
  std::shared_ptr<const StatusSnapshot> Latest() const;
  std::uint64_t Sequence() const;

 private:
  mutable std::mutex mMutex;
  std::shared_ptr<const StatusSnapshot> mLatest;
};
