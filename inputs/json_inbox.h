#pragma once
// JsonInbox: where a JSON input's reader thread leaves whole objects, and
// notes for the log, for the router's thread to take. The objects are held
// to a limit (bytes and number); past it the newest are dropped whole and
// counted, so a feed that sends faster than the program forwards costs
// bounded memory. The router's thread is woken once per batch: only the
// first entry after a Take asks for a wake.
// Put and Note: the reader thread. Take and WakeFailed: the router's thread.
// Dropped: any thread. No platform header.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "common/bounded_queue.h"

class JsonInbox {
 public:
  // Notes kept for a router's thread that does not come for them.
  static constexpr std::size_t kMaxNotes = 16;

  explicit JsonInbox(BoundedQueue::Limits limits) : mObjects(limits, BoundedQueue::WhenFull::DropNewest) {}

  // Each returns whether the caller must wake the router's thread.
  bool Put(std::string object);
  bool Note(std::string text);

  struct Batch {
    std::deque<std::string> Notes;
    std::deque<std::string> Objects;
    bool Empty() const { return Notes.empty() && Objects.empty(); }
  };
  // Everything waiting, oldest first; the next entry asks for a wake again.
  Batch Take();
  // The wake could not be delivered: the next entry asks again.
  void WakeFailed();
  std::uint64_t Dropped() const;

 private:
  bool WakeNeeded();

  mutable std::mutex mMutex;
  BoundedQueue mObjects;
  std::deque<std::string> mNotes;
  bool mWakePending = false;
};
