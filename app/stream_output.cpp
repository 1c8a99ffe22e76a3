#include "stream_output.h"

#include <utility>

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
  // Taken out first: a write that raises must not leave these bytes to go
  // out in front of a later reader's first record.
  const std::string batch = std::exchange(mBatch, {});
  if (!batch.empty() && Open()) Write(batch);
}
