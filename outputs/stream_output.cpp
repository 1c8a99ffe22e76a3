#include "outputs/stream_output.h"

#include <algorithm>

MessageOutput::Delivery StreamOutput::Take(const PreparedMessage& message) {
  if (!Wants(message)) return Delivery::NotWanted;
  if (!Open()) {
    // The connection has gone: what the transport still holds never leaves.
    Close();
    return Delivery::NotWanted;
  }
  const std::string_view bytes = Bytes(message);
  const std::size_t unsent = Unsent();
  // The transport sends in order and the last bytes it holds are ours:
  // every record that ends before its unacknowledged tail has arrived.
  const std::uint64_t arrived = mWritten - std::min<std::uint64_t>(Unacknowledged(false), mWritten);
  while (!mEnds.empty() && mEnds.front() <= arrived) mEnds.pop_front();
  // Without a limit a reader that stops reading would make the backlog grow
  // without end. One record is always taken when nothing waits, however
  // large it is.
  const std::size_t backlog = unsent + mBatch.size();
  if (backlog > 0 && backlog + bytes.size() > mMaxBacklog) {
    ++mDropped;
    return Delivery::Dropped;
  }
  mBatch += bytes;
  mEnds.push_back(mWritten + mBatch.size());
  ++mKept;
  return Delivery::Kept;
}

void StreamOutput::Flush() {
  if (mBatch.empty()) return;
  if (!Open()) {
    Close();
    return;
  }
  // Taken out first, and dropped however the write ends: a write that
  // raises must not leave these bytes to go out in front of a later
  // reader's first record. The two buffers keep their room for the next
  // pass.
  mSending.swap(mBatch);
  mBatch.clear();
  struct Clear {
    std::string& Bytes;
    ~Clear() { Bytes.clear(); }
  } clear{mSending};
  try {
    Write(mSending);
  } catch (...) {
    LoseAfter(mWritten);
    throw;
  }
  mWritten += mSending.size();
}

void StreamOutput::Close() {
  const std::size_t unacknowledged = Unacknowledged(true);
  LoseAfter(mWritten - std::min<std::uint64_t>(unacknowledged, mWritten));
  // The rest has arrived.
  mEnds.clear();
  mBatch.clear();
}

void StreamOutput::LoseAfter(std::uint64_t offset) {
  std::uint64_t lost = 0;
  while (!mEnds.empty() && mEnds.back() > offset) {
    mEnds.pop_back();
    ++lost;
  }
  mKept -= lost;
  mDropped += lost;
}
