#include "common/bounded_queue.h"

#include <utility>

bool BoundedQueue::Push(std::string item) {
  if (item.size() > mLimits.MaxBytes || mLimits.MaxItems == 0) {
    ++mDropped;
    return false;
  }
  if (mWhenFull == WhenFull::DropOldest) {
    while (!Fits(item.size())) {
      PopFront();
      ++mDropped;
    }
  } else if (!Fits(item.size())) {
    ++mDropped;
    return false;
  }
  mBytes += item.size();
  mItems.push_back(std::move(item));
  return true;
}

std::deque<std::string> BoundedQueue::TakeAll() {
  mBytes = 0;
  return std::exchange(mItems, {});
}

void BoundedQueue::PopFront() {
  mBytes -= mItems.front().size();
  mItems.pop_front();
}

void BoundedQueue::Clear() {
  mItems.clear();
  mBytes = 0;
}
