#pragma once
// Test helpers that run the thread's message loop, as the program's own loop
// would, until a condition holds.

#include <windows.h>

#include <functional>

// Dispatches messages until `done` returns true or `timeoutMs` has passed;
// returns whether `done` held.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      if (done()) return true;
      if (GetTickCount64() >= deadline) return false;  // a queue that never empties
    }
    if (done()) return true;
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// Dispatches whatever arrives during `ms` milliseconds.
inline void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

// Waits, without dispatching any message, until `done` holds or `ms` have
// passed: the thread stays as busy as a window thread that is not
// pumping. Returns whether `done` held.
template <typename Done>
bool WaitWithoutPumping(Done&& done, DWORD ms = 10000) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  while (!done()) {
    if (GetTickCount64() >= deadline) return false;
    Sleep(5);
  }
  return true;
}
