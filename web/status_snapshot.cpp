#include "web/status_snapshot.h"

#include <utility>

bool FeedIsUp(const std::string& state) {
  for (const char* up : {"connected", "listening", "sending"}) {
    if (state.rfind(up, 0) == 0) return true;
  }
  return false;
}

void CarryOutputTimes(StatusSnapshot& next, const StatusSnapshot& previous) {
  next.OutputDownSince.clear();
  next.OutputLastSendAt.clear();
  for (const Statistics::Feed& feed : next.Stats.Feeds) {
    if (feed.Input) continue;
    if (!FeedIsUp(feed.State)) {
      const auto before = previous.OutputDownSince.find(feed.Name);
      next.OutputDownSince[feed.Name] = before == previous.OutputDownSince.end() ? next.Now : before->second;
    }
    std::uint64_t sentBefore = 0;
    for (const Statistics::Feed& old : previous.Stats.Feeds) {
      if (!old.Input && old.Name == feed.Name) sentBefore = old.Count;
    }
    if (feed.Count > sentBefore) {
      next.OutputLastSendAt[feed.Name] = next.Now;
    } else if (const auto last = previous.OutputLastSendAt.find(feed.Name); last != previous.OutputLastSendAt.end()) {
      next.OutputLastSendAt[feed.Name] = last->second;
    }
  }
}

SnapshotBoard::SnapshotBoard() : mLatest(std::make_shared<StatusSnapshot>()) {}

void SnapshotBoard::Publish(StatusSnapshot snapshot) {
  const std::lock_guard lock(mMutex);
  snapshot.Sequence = mLatest->Sequence + 1;
  mLatest = std::make_shared<const StatusSnapshot>(std::move(snapshot));
}

std::shared_ptr<const StatusSnapshot> SnapshotBoard::Latest() const {
  const std::lock_guard lock(mMutex);
  return mLatest;
}

std::uint64_t SnapshotBoard::Sequence() const {
  const std::lock_guard lock(mMutex);
  return mLatest->Sequence;
}
