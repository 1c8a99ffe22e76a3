#pragma once
// SilenceWatchdog: notices a linked source that has said nothing for longer
// than the limit, once, until its next message. Silence counts from the
// later of the link and the last message. No platform header.

#include <cstddef>
#include <vector>

class SilenceWatchdog {
 public:
  // `limitSeconds` 0 turns the watchdog off.
  SilenceWatchdog(std::size_t sources, double limitSeconds) : mLimit(limitSeconds), mStates(sources) {}

  void Linked(std::size_t source, double now);
  void Unlinked(std::size_t source);
  // A message from `source`; true when it had been reported silent, so that
  // the report can be cleared.
  bool Message(std::size_t source, double now);
  // The sources that have become silent since the last check.
  std::vector<std::size_t> Check(double now);
  bool Silent(std::size_t source) const { return mStates.at(source).Reported; }
  double LimitSeconds() const { return mLimit; }
  // A new limit, from the next check on; 0 turns the watchdog off.
  void SetLimitSeconds(double limitSeconds) { mLimit = limitSeconds; }

 private:
  struct State {
    bool Linked = false;
    double Since = 0;  // the link or the last message, whichever came later
    bool Reported = false;
  };
  double mLimit;
  std::vector<State> mStates;
};
