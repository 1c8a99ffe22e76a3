#pragma once
// MinuteCounts: how many events fell into each of the last 60 minutes, for
// the statistics window's graph. Fixed size: an hour of counts whatever the
// rate. No platform header.

#include <array>
#include <cstdint>

class MinuteCounts {
 public:
  static constexpr int kMinutes = 60;

  // One event at `unixSeconds`.
  void Add(double unixSeconds);
  // The counts of the 60 minutes up to and including the one of `now`,
  // oldest first.
  std::array<std::uint32_t, kMinutes> Last(double now) const;

 private:
  static std::int64_t MinuteOf(double unixSeconds);
  std::array<std::uint32_t, kMinutes> mCounts{};
  std::array<std::int64_t, kMinutes> mMinute{};  // which minute each slot holds
};
