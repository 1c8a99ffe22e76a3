#pragma once
// DuplicateFilter: remembers the messages forwarded in the last few
// seconds, so that the same message from a second decoder (two decoders on
// one frequency, a DDE decoder beside an SDR one) is not forwarded twice.
// The caller passes the time in, from a monotonic clock in milliseconds.
// Its memory is bounded at any rate: what is older than the window is
// forgotten, and so is the oldest when a count or a byte limit is reached.
// Single-threaded; no platform header.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_set>

#include "pipeline/acars_message.h"

class DuplicateFilter {
 public:
  // A window of an hour at ten messages a second; a message seldom has
  // more than a few hundred characters.
  static constexpr std::size_t kMaxMessages = 40'000;
  static constexpr std::size_t kMaxBytes = 16 * 1024 * 1024;

  // `windowMs` 0: off.
  explicit DuplicateFilter(std::uint64_t windowMs = 0, std::size_t maxMessages = kMaxMessages,
                           std::size_t maxBytes = kMaxBytes);

  // A new window; what was remembered is forgotten. 0: off.
  void SetWindow(std::uint64_t windowMs);
  bool Enabled() const { return mWindowMs > 0; }
  std::uint64_t WindowMs() const { return mWindowMs; }

  // True when a message equal to `message` was remembered less than the
  // window before `nowMs`. Always false when off.
  bool IsDuplicate(const AcarsMessage& message, std::uint64_t nowMs);
  // Remembers `message` as forwarded at `nowMs`; nothing when off.
  void Remember(const AcarsMessage& message, std::uint64_t nowMs);

  // How many messages, and how many bytes of them, are remembered.
  std::size_t Remembered() const { return mKeys.size(); }
  std::size_t Bytes() const { return mBytes; }

 private:
  void Forget(std::uint64_t nowMs, std::size_t room);

  std::uint64_t mWindowMs;
  std::size_t mMaxMessages;
  std::size_t mMaxBytes;
  std::unordered_set<std::string> mKeys;
  struct Passed {
    std::uint64_t AtMs;
    const std::string* Key;  // in mKeys, whose elements stay where they are
  };
  std::deque<Passed> mOrder;  // oldest first
  std::size_t mBytes = 0;
  std::string mKey;  // reused, so a lookup allocates nothing
};
