#pragma once
// StreamOutput: an output that writes each kept message's bytes (its
// record, unless a subclass encodes it otherwise) to one byte stream, such
// as a client socket. The records of one router pass
// are collected and written in one piece; a reader that falls behind loses
// whole records past the backlog limit, counted, and never part of one, so
// the stream stays parseable and a reader that resumes gets every later
// record intact. The transport is the subclass's; this class holds the
// rules, without any platform header.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "message_router.h"

class StreamOutput : public MessageOutput {
 public:
  explicit StreamOutput(std::size_t maxBacklog) : mMaxBacklog(maxBacklog) {}

  Delivery Take(const PreparedMessage& message) final;
  void Flush() final;
  std::uint64_t Dropped() const final { return mDropped; }
  // Messages kept and handed to the transport so far.
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
  virtual void Write(const std::string& bytes) = 0;

 private:
  std::size_t mMaxBacklog;
  std::string mBatch;    // kept since the last flush
  std::string mSending;  // being written
  std::uint64_t mDropped = 0;
  std::uint64_t mKept = 0;
};
