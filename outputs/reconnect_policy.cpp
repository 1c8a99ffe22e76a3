#include "outputs/reconnect_policy.h"

#include <algorithm>

double ReconnectPolicy::Failed(double now) {
  if (mConnectedAt >= 0 && now - mConnectedAt >= kGoodConnection) mDelay = kFirstDelay;
  mConnectedAt = -1;
  const double wait = mDelay;
  mDelay = std::min(mDelay * 2, kLongestDelay);
  return now + wait;
}
