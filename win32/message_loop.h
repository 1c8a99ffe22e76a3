#pragma once
// MessageLoop: takes the thread's messages one by one, WM_TIMER and the
// program's own posted messages first: WM_APP and up, which includes the
// registered ones that bring the sockets' notifications. The system makes
// WM_TIMER only when no posted message waits, and hands posted messages
// over in order; a decoder or a feed that keeps the queue full would hold
// back the connection supervision, re-linking, a decoder the probe found,
// a client that came or left and the outputs' flushes until it stops. So every few tens of
// milliseconds the loop looks for those by their numbers before taking the
// next message in order. One per thread that runs a loop; not thread-safe.

#include <windows.h>

class MessageLoop {
 public:
  // How often the loop looks for timers and the program's own messages
  // ahead of the rest.
  static constexpr ULONGLONG kPriorityEveryMs = 20;

  // The next message: waits for one with `wait`, else returns false at
  // once when there is none. With `wait`, false also means WM_QUIT came.
  bool Next(MSG& msg, bool wait) {
    const ULONGLONG now = GetTickCount64();
    if (now >= mPriorityAt) {
      if (PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE) ||
          PeekMessageW(&msg, nullptr, WM_APP, kLastMessage, PM_REMOVE)) {
        return true;
      }
      mPriorityAt = now + kPriorityEveryMs;
    }
    if (wait) return GetMessageW(&msg, nullptr, 0, 0) > 0;
    return PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE;
  }

 private:
  // The last of the registered messages.
  static constexpr UINT kLastMessage = 0xFFFF;
  ULONGLONG mPriorityAt = 0;
};
