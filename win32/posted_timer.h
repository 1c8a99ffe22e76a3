#pragma once
// PostedTimer: a window timer whose ticks are WM_TIMER messages posted
// ahead of the queue (MessageLoop::PostAhead). The system makes its own
// WM_TIMER only when no posted message waits, so decoders that keep the
// queue full would hold an ordinary timer back for as long as they go on.
// At most one tick waits at a time: the window calls Arrived() when it
// handles one, so a timer that fell behind does not run again and again to
// catch up. The ticks are posted from a thread of the system's timer queue;
// everything else is done on the window's thread. Where the timer queue
// cannot be had, an ordinary timer does the work.

#include <windows.h>

#include <atomic>

#include "win32/message_loop.h"

class PostedTimer {
 public:
  PostedTimer(HWND window, UINT_PTR id, DWORD periodMs) : mWindow(window), mId(id) {
    if (!CreateTimerQueueTimer(&mTimer, nullptr, &PostedTimer::Fire, this, periodMs, periodMs, WT_EXECUTEDEFAULT)) {
      mTimer = nullptr;
      SetTimer(window, id, periodMs, nullptr);
    }
  }
  ~PostedTimer() {
    // Waits for a tick that is being posted; one already posted arrives
    // later and finds no timer of its id.
    if (mTimer) {
      DeleteTimerQueueTimer(nullptr, mTimer, INVALID_HANDLE_VALUE);
    } else {
      KillTimer(mWindow, mId);
    }
  }
  PostedTimer(const PostedTimer&) = delete;
  PostedTimer& operator=(const PostedTimer&) = delete;

  UINT_PTR Id() const { return mId; }
  // The window has taken a tick: the next may be posted.
  void Arrived() { mWaiting = false; }

 private:
  static VOID CALLBACK Fire(PVOID context, BOOLEAN) {
    auto* self = static_cast<PostedTimer*>(context);
    if (self->mWaiting.exchange(true)) return;
    // A queue that is full takes no tick; the next one tries again.
    if (!MessageLoop::PostAhead(self->mWindow, WM_TIMER, self->mId, 0)) self->mWaiting = false;
  }

  HWND mWindow;
  UINT_PTR mId;
  std::atomic<bool> mWaiting{false};
  HANDLE mTimer = nullptr;
};
