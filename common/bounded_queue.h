#pragma once
// BoundedQueue: texts (JSON lines or objects) waiting for their turn, held
// to a limit in bytes and one in number. What does not fit is dropped whole
// and counted: the newest (a reader that cannot keep up loses what comes
// last) or the oldest (a connection that is down keeps the latest). An item
// larger than the byte limit on its own is dropped as it comes.
// Single-threaded; no platform header.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

class BoundedQueue {
 public:
  struct Limits {
    std::size_t MaxBytes;
    std::size_t MaxItems;
  };
  enum class WhenFull { DropNewest, DropOldest };

  BoundedQueue(Limits limits, WhenFull whenFull) : mLimits(limits), mWhenFull(whenFull) {}

  // Adds `item` if there is room, or makes room as the queue drops;
  // returns whether `item` was kept.
  bool Push(std::string item);
  // Takes every item out, oldest first.
  std::deque<std::string> TakeAll();
  const std::deque<std::string>& Items() const { return mItems; }
  const std::string& Front() const { return mItems.front(); }
  void PopFront();
  void Clear();
  // Counts items given up as dropped, such as those whose send failed.
  void CountDropped(std::uint64_t items) { mDropped += items; }

  bool Empty() const { return mItems.empty(); }
  std::size_t Size() const { return mItems.size(); }
  std::size_t Bytes() const { return mBytes; }
  std::uint64_t Dropped() const { return mDropped; }
  const Limits& Limit() const { return mLimits; }

 private:
  bool Fits(std::size_t size) const { return mItems.size() < mLimits.MaxItems && size <= mLimits.MaxBytes - mBytes; }

  Limits mLimits;
  WhenFull mWhenFull;
  std::deque<std::string> mItems;
  std::size_t mBytes = 0;
  std::uint64_t mDropped = 0;
};
