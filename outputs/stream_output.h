#pragma once
// StreamOutput: an output that writes each kept message's bytes (its
// record, unless a subclass encodes it otherwise) to one byte stream, such
// as a client socket. The records of one router pass
// are collected and written in one piece; a reader that falls behind loses
// whole records past the backlog limit, counted, and never part of one, so
// the stream stays parseable and a reader that resumes gets every later
// record intact. Every message taken ends either sent or counted as
// dropped: a batch that cannot be written, and the records whose bytes the
// transport still holds when the reader goes, are lost to the reader and
// counted; so are those it sent that the reader never acknowledged, when
// a reader vanishes. The transport is the subclass's; this class holds the rules,
// without any platform header. Single-threaded; Close may be called from
// inside Write (a failing send closes the client).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "router/message_router.h"

class StreamOutput : public MessageOutput {
 public:
  explicit StreamOutput(std::size_t maxBacklog) : mMaxBacklog(maxBacklog) {}

  Delivery Take(const PreparedMessage& message) final;
  void Flush() final;
  // The reader goes (call it before the transport forgets what it holds):
  // the messages not wholly sent are counted as dropped.
  void Close();
  std::uint64_t Dropped() const final { return mDropped; }
  // Messages taken and not lost since: sent, or on their way.
  std::uint64_t Kept() const { return mKept; }
  std::size_t MaxBacklog() const { return mMaxBacklog; }

 protected:
  // Whether a reader is there to take bytes now.
  virtual bool Open() const = 0;
  // Whether this output carries the message at all.
  virtual bool Wants(const PreparedMessage&) const { return true; }
  // The bytes that stand for the message in this stream.
  virtual std::string_view Bytes(const PreparedMessage& message) { return message.Record; }
  // Bytes written earlier that the transport has not sent yet.
  virtual std::size_t Unsent() const = 0;
  // Bytes written earlier that the reader is not known to have received:
  // the unsent ones, and those sent without an acknowledgement so far (as
  // the transport last knew, or as it finds out `now`). Once the connection
  // has ended, those it held then.
  virtual std::size_t Unacknowledged(bool /*now*/) { return Unsent(); }
  virtual void Write(const std::string& bytes) = 0;

 private:
  // Counts as dropped the records that end after byte `offset` of the
  // stream (those of the batch, and written ones the transport still holds).
  void LoseAfter(std::uint64_t offset);

  std::size_t mMaxBacklog;
  std::string mBatch;          // kept since the last flush
  std::string mSending;        // being written
  std::uint64_t mWritten = 0;  // bytes handed to the transport so far
  // Where each record ends in the stream (mWritten counts, then the
  // batch's), oldest first, for the records not known to have arrived.
  // Bounded by the backlog limit and what the transport has on its way:
  // records leave it once acknowledged.
  std::deque<std::uint64_t> mEnds;
  std::uint64_t mDropped = 0;
  std::uint64_t mKept = 0;
};
