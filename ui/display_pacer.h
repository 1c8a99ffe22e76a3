#pragma once
// DisplayPacer: when the window redraws its display and brings the tray tip
// up to date. Showing a message takes the program's thread several
// milliseconds under Wine, during which no decoder text is forwarded. The
// first message after a quiet second is shown at once; later ones wait for
// a moment without messages, and during continuous traffic the latest is
// shown once a second. The tip (which waits for the task bar's process) is
// brought up to date when messages pause, and every ten seconds under load.
// No platform header: the clock (milliseconds, monotonic) is passed in.

#include <cstddef>
#include <cstdint>
#include <string>

class DisplayPacer {
 public:
  // A moment without messages, in which the window's slow work is done.
  static constexpr std::uint64_t kQuietMs = 20;
  static constexpr std::uint64_t kShowAtLeastEveryMs = 1000;
  static constexpr std::uint64_t kTipEveryMsUnderLoad = 10000;

  enum class Step {
    ShowNow,       // redraw now
    StartTimer,    // start the quiet timer (kQuietMs), then ask Due()
    TimerRunning,  // the quiet timer already runs
  };
  // A message to show arrived at `now`.
  Step Arrived(std::uint64_t now);
  // Whether the quiet timer's tick at `now` should redraw.
  bool Due(std::uint64_t now) const;
  // The display was redrawn at `now` (the quiet timer is stopped).
  void Shown(std::uint64_t now);
  // Whether the tray tip is due at `now`; when it is, it counts as done.
  bool TipDue(std::uint64_t now);

 private:
  std::uint64_t mShownAt = 0;
  std::uint64_t mLastArrival = 0;
  std::uint64_t mTipAt = 0;
  bool mTimerRunning = false;
  bool mEverShown = false;
};

// The text as the display shows it. A text box lays out every character it
// holds: a decoder text of a megabyte would stall the window, so only its
// start (kMaxShownChars) is shown. Wrapping a long run without a space
// costs the text box time that grows with the square of its length, so such
// a run gets a line break every 64 characters; the lines wrap all the same.
std::string DisplayText(const std::string& text);
inline constexpr std::size_t kMaxShownChars = 16384;
