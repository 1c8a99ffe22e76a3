#pragma once
// StageProfile: where the bridge's time goes, counted per stage of a
// message's way (and per timer), for the benchmark build only. Built with
// BRIDGE_PROFILE, every StageTimer adds its scope's time to its stage, less
// the time of the stages nested in it, so the stages add up; the program
// writes the table when it ends. Without BRIDGE_PROFILE a StageTimer is
// empty and costs nothing.

#include <cstddef>
#include <string>

enum class Stage : std::size_t {
  DdeCallback,  // the library's callback for a decoder's new text
  DdeData,      // copying the text out of the DDE data handle
  Arrival,      // the window's change handler: watchdog, log, hand-over
  Prepare,      // normalise, parse, frame text, record bytes, counters
  Take,         // the outputs taking the record
  Send,         // the outputs' flush: socket sends
  Loop,         // the rest of the message loop: the library's DDE work, painting
  Display,      // showing the latest message and the status panels
  StateTimer,   // the 200 ms client supervision
  LinkTimers,   // the link watch and re-linking
  SecondTimer,  // watchdog, feeds and the tray tip, once a second
  JsonOut,      // encoding JSON objects
  Count
};

#ifdef BRIDGE_PROFILE

#include <chrono>

class StageTimer {
 public:
  explicit StageTimer(Stage stage);
  ~StageTimer();
  StageTimer(const StageTimer&) = delete;
  StageTimer& operator=(const StageTimer&) = delete;

 private:
  Stage mStage;
  std::chrono::steady_clock::time_point mStart;
  std::chrono::steady_clock::duration mNested{};
  StageTimer* mOuter;
};

// The table so far: per stage, calls, own time in all, per call, the
// longest call and the calls over a millisecond; `messages` gives a
// column per message.
std::string StageProfileReport(std::size_t messages);

#else

class StageTimer {
 public:
  explicit StageTimer(Stage) {}
};

#endif
