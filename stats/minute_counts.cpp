#include "stats/minute_counts.h"

#include <cmath>

std::int64_t MinuteCounts::MinuteOf(double unixSeconds) {
  return static_cast<std::int64_t>(std::floor(unixSeconds / 60.0));
}

void MinuteCounts::Add(double unixSeconds) {
  const std::int64_t minute = MinuteOf(unixSeconds);
  const auto slot = static_cast<std::size_t>(((minute % kMinutes) + kMinutes) % kMinutes);
  if (mMinute[slot] != minute) {  // a slot last used an hour or more ago
    mMinute[slot] = minute;
    mCounts[slot] = 0;
  }
  ++mCounts[slot];
}

std::array<std::uint32_t, MinuteCounts::kMinutes> MinuteCounts::Last(double now) const {
  std::array<std::uint32_t, kMinutes> out{};
  const std::int64_t newest = MinuteOf(now);
  for (int i = 0; i < kMinutes; ++i) {
    const std::int64_t minute = newest - (kMinutes - 1) + i;
    const auto slot = static_cast<std::size_t>(((minute % kMinutes) + kMinutes) % kMinutes);
    out[static_cast<std::size_t>(i)] = mMinute[slot] == minute ? mCounts[slot] : 0;
  }
  return out;
}
