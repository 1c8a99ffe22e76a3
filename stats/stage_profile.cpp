#include "stats/stage_profile.h"

#ifdef BRIDGE_PROFILE

#include <array>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

struct Totals {
  std::size_t Calls = 0;
  Clock::duration Own{};
  Clock::duration Longest{};
  std::size_t OverOneMs = 0;
};

std::array<Totals, static_cast<std::size_t>(Stage::Count)> gTotals;
StageTimer* gCurrent = nullptr;  // the innermost running timer: one thread only

constexpr std::array<const char*, static_cast<std::size_t>(Stage::Count)> kNames{
    "DDE callback", "DDE data copy", "change handler", "prepare",     "outputs take", "send (flush)",
    "message loop", "display",       "state timer",    "link timers", "second timer", "JSON encoding"};

double Microseconds(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

}  // namespace

StageTimer::StageTimer(Stage stage) : mStage(stage), mStart(Clock::now()), mOuter(gCurrent) {
  gCurrent = this;
}

StageTimer::~StageTimer() {
  const Clock::duration all = Clock::now() - mStart;
  Totals& t = gTotals[static_cast<std::size_t>(mStage)];
  ++t.Calls;
  t.Own += all - mNested;
  if (all > t.Longest) t.Longest = all;
  if (all > std::chrono::milliseconds(1)) ++t.OverOneMs;
  if (mOuter) mOuter->mNested += all;
  gCurrent = mOuter;
}

std::string StageProfileReport(std::size_t messages) {
  std::string out = "stage            calls   own ms   own us/call  us/message  longest ms  calls over 1 ms\n";
  char line[160];
  Clock::duration sum{};
  for (std::size_t i = 0; i < gTotals.size(); ++i) {
    const Totals& t = gTotals[i];
    sum += t.Own;
    std::snprintf(line, sizeof line, "%-15s %7zu %8.1f %12.2f %11.2f %11.2f %16zu\n", kNames[i], t.Calls,
                  Microseconds(t.Own) / 1000, t.Calls ? Microseconds(t.Own) / t.Calls : 0.0,
                  messages ? Microseconds(t.Own) / messages : 0.0, Microseconds(t.Longest) / 1000, t.OverOneMs);
    out += line;
  }
  std::snprintf(line, sizeof line, "%-15s %7s %8.1f %12s %11.2f   (%zu messages)\n", "all stages", "",
                Microseconds(sum) / 1000, "", messages ? Microseconds(sum) / messages : 0.0, messages);
  return out + line;
}

#endif
