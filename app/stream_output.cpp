#include "stream_output.h"

MessageOutput::Delivery StreamOutput::Take(const PreparedMessage& message) {
  if (!Wants(message) || !Open()) return Delivery::NotWanted;
  const std::string_view bytes = Bytes(message);
  // Without a limit a reader that stops reading would make the backlog grow
  // without end. One record is always taken when nothing waits, however
  // large it is.
  const std::size_t backlog = Unsent() + mBatch.size();
  if (backlog > 0 && backlog + bytes.size() > mMaxBacklog) {
    ++mDropped;
    return Delivery::Dropped;
  }
  mBatch += bytes;
  ++mKept;
  return Delivery::Kept;
}

void StreamOutput::Flush() {
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
  if (!mSending.empty() && Open()) Write(mSending);
}
