#include "router/duplicate_filter.h"

#include <algorithm>
#include <string_view>

namespace {

// Each field with its length before it, so that fields running into each
// other never make two different messages look alike.
void Append(std::string& key, std::string_view field) {
  key += std::to_string(field.size());
  key += ':';
  key += field;
}

// What makes two messages the same message: the registration, label, block
// id, message number, flight and text. Not the mode, the source or the time,
// which differ between two receivers of one message. The registration goes
// without the dots a decoder pads it with, and the text without the one
// line end the DDE decoders print after its last line: an SDR decoder's
// JSON gives neither.
void MakeKey(std::string& key, const AcarsMessage& m) {
  key.clear();
  std::string_view registration = m.AircraftReg;
  registration.remove_prefix(std::min(registration.find_first_not_of('.'), registration.size()));
  std::string_view text = m.MessageContent;
  if (text.ends_with("\r\n")) text.remove_suffix(2);
  Append(key, registration);
  Append(key, m.MessageLabel);
  Append(key, m.BlockID);
  Append(key, m.MessageNumber);
  Append(key, m.FlightNumber);
  Append(key, text);
}

}  // namespace

DuplicateFilter::DuplicateFilter(std::uint64_t windowMs, std::size_t maxMessages, std::size_t maxBytes)
    : mWindowMs(windowMs), mMaxMessages(maxMessages), mMaxBytes(maxBytes) {}

void DuplicateFilter::SetWindow(std::uint64_t windowMs) {
  mWindowMs = windowMs;
  mOrder.clear();
  mKeys.clear();
  mBytes = 0;
}

bool DuplicateFilter::IsDuplicate(const AcarsMessage& message, std::uint64_t nowMs) {
  if (!Enabled()) return false;
  MakeKey(mKey, message);
  Forget(nowMs, 0);
  return mKeys.contains(mKey);
}

void DuplicateFilter::Remember(const AcarsMessage& message, std::uint64_t nowMs) {
  if (!Enabled()) return;
  MakeKey(mKey, message);
  // A message larger than all the room is not remembered.
  if (mKey.size() > mMaxBytes || mMaxMessages == 0) return;
  Forget(nowMs, mKey.size());
  const auto [kept, added] = mKeys.insert(mKey);
  if (!added) return;  // remembered already, within the window
  mOrder.push_back({nowMs, &*kept});
  mBytes += kept->size();
}

// Forgets what the window no longer covers and, when `room` more bytes and
// one more message would pass a limit, the oldest until they fit.
void DuplicateFilter::Forget(std::uint64_t nowMs, std::size_t room) {
  while (!mOrder.empty()) {
    const Passed& oldest = mOrder.front();
    const bool expired = nowMs >= oldest.AtMs + mWindowMs;
    const bool full = room > 0 && (mOrder.size() >= mMaxMessages || mBytes + room > mMaxBytes);
    if (!expired && !full) break;
    mBytes -= oldest.Key->size();
    mKeys.erase(mKeys.find(*oldest.Key));
    mOrder.pop_front();
  }
}
