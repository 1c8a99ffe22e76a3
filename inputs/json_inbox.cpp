#include "inputs/json_inbox.h"

#include <utility>

bool JsonInbox::Put(std::string object) {
  const std::lock_guard lock(mMutex);
  return mObjects.Push(std::move(object)) && WakeNeeded();
}

bool JsonInbox::Note(std::string text) {
  const std::lock_guard lock(mMutex);
  if (mNotes.size() >= kMaxNotes) mNotes.pop_front();
  mNotes.push_back(std::move(text));
  return WakeNeeded();
}

JsonInbox::Batch JsonInbox::Take() {
  const std::lock_guard lock(mMutex);
  mWakePending = false;
  return {std::exchange(mNotes, {}), mObjects.TakeAll()};
}

void JsonInbox::WakeFailed() {
  const std::lock_guard lock(mMutex);
  mWakePending = false;
}

std::uint64_t JsonInbox::Dropped() const {
  const std::lock_guard lock(mMutex);
  return mObjects.Dropped();
}

bool JsonInbox::WakeNeeded() {
  return !std::exchange(mWakePending, true);
}
