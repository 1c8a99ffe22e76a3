#include "ui/display_pacer.h"

#include <algorithm>

DisplayPacer::Step DisplayPacer::Arrived(std::uint64_t now) {
  mLastArrival = now;
  if (!mEverShown || now - mShownAt >= kShowAtLeastEveryMs) return Step::ShowNow;
  if (mTimerRunning) return Step::TimerRunning;
  mTimerRunning = true;
  return Step::StartTimer;
}

bool DisplayPacer::Due(std::uint64_t now) const {
  return now - mLastArrival >= kQuietMs || now - mShownAt >= kShowAtLeastEveryMs;
}

void DisplayPacer::Shown(std::uint64_t now) {
  mShownAt = now;
  mEverShown = true;
  mTimerRunning = false;
}

bool DisplayPacer::TipDue(std::uint64_t now) {
  if (now - mLastArrival < kQuietMs && now - mTipAt < kTipEveryMsUnderLoad) return false;
  mTipAt = now;
  return true;
}

std::string DisplayText(const std::string& text) {
  constexpr std::size_t kLongestRun = 64;
  std::string shown;
  shown.reserve(std::min(text.size(), kMaxShownChars) + 64);
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size() && i < kMaxShownChars; ++i) {
    const char c = text[i];
    const bool space = c == ' ' || c == '\r' || c == '\n' || c == '\t';
    run = space ? 0 : run + 1;
    if (run > kLongestRun) {
      shown += "\r\n";
      run = 1;
    }
    shown += c;
  }
  if (text.size() > kMaxShownChars) shown += "\r\n...";
  return shown;
}
