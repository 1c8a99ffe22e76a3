#include "inputs/silence_watchdog.h"

void SilenceWatchdog::Linked(std::size_t source, double now) {
  State& s = mStates.at(source);
  if (!s.Linked) s.Since = now;
  s.Linked = true;
}

void SilenceWatchdog::Unlinked(std::size_t source) {
  State& s = mStates.at(source);
  s.Linked = false;
  s.Reported = false;
}

bool SilenceWatchdog::Message(std::size_t source, double now) {
  State& s = mStates.at(source);
  s.Since = now;
  const bool wasReported = s.Reported;
  s.Reported = false;
  return wasReported;
}

std::vector<std::size_t> SilenceWatchdog::Check(double now) {
  std::vector<std::size_t> silent;
  if (mLimit <= 0) return silent;
  for (std::size_t i = 0; i < mStates.size(); ++i) {
    State& s = mStates[i];
    if (s.Linked && !s.Reported && now - s.Since > mLimit) {
      s.Reported = true;
      silent.push_back(i);
    }
  }
  return silent;
}
