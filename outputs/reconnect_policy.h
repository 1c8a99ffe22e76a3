#pragma once
// ReconnectPolicy: when a connection that keeps failing is tried again.
// The first retry waits a second, each further one twice as long, up to a
// minute; a connection that held for a minute resets the wait to a second.
// Every connecting input and output uses it. No platform header.

class ReconnectPolicy {
 public:
  static constexpr double kFirstDelay = 1;
  static constexpr double kLongestDelay = 60;
  static constexpr double kGoodConnection = 60;

  // The connection came up at `now` (seconds).
  void Connected(double now) { mConnectedAt = now; }
  // It failed or ended at `now`: returns when to try again.
  double Failed(double now);
  double Delay() const { return mDelay; }

 private:
  double mDelay = kFirstDelay;
  double mConnectedAt = -1;
};
