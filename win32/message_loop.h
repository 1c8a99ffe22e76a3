#pragma once
// MessageLoop: takes the thread's messages one by one, in the order they
// came, apart from those posted with PostAhead: the ticks of the
// supervision's timers and a decoder the probe found. The system makes its
// own WM_TIMER only when no posted message waits, and hands posted messages
// over in order; decoders that keep the queue full would hold back
// re-linking and the connection supervision until they stop. Looking for a
// message by its number costs a walk through the whole queue, so the loop
// looks only when something was posted ahead, and then takes the timers
// that are due and the messages from WM_APP up, a few at most. Everything else (the
// decoders' DDE messages, the program's messages below WM_APP) keeps its
// order. One loop per thread; PostAhead is for windows of a thread that
// runs one.

#include <windows.h>

#include <atomic>

class MessageLoop {
 public:
  // Posts the message and has the loop take it ahead of the others.
  static bool PostAhead(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!PostMessageW(window, message, wParam, lParam)) return false;
    // Raised after the post, so a loop that sees it finds the message.
    sPostedAhead = true;
    return true;
  }

  // The next message: waits for one with `wait`, else returns false at
  // once when there is none. With `wait`, false also means WM_QUIT came.
  bool Next(MSG& msg, bool wait) {
    if (sPostedAhead.exchange(false)) mAheadLeft = kAheadBudget;
    if (mAheadLeft > 0) {
      if (PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE) ||
          PeekMessageW(&msg, nullptr, WM_APP, kLastMessage, PM_REMOVE)) {
        --mAheadLeft;
        return true;
      }
      mAheadLeft = 0;
    }
    if (wait) return GetMessageW(&msg, nullptr, 0, 0) > 0;
    return PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE;
  }

 private:
  // The last of the registered messages.
  static constexpr UINT kLastMessage = 0xFFFF;
  // Messages taken ahead each time something was posted ahead: enough for
  // every timer and the sockets' few notifications, while sockets that are
  // busy for long take their turn with the rest.
  static constexpr int kAheadBudget = 16;
  static inline std::atomic<bool> sPostedAhead{false};
  int mAheadLeft = 0;
};
