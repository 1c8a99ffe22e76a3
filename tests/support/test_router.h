#pragma once
// A router with no window around it, for tests of one input or output: it
// sends at once (no flush is promised) and counts what each output gets.

#include <windows.h>

#include <exception>
#include <string>
#include <vector>

#include "router/message_router.h"

class QuietRouterEvents : public RouterEvents {
 public:
  std::vector<std::string> logs;
  void ShowLatest(const Latest&) override {}
  void MessageDropped(const MessageOutput&, std::uint64_t) override {}
  bool LogEnabled() override { return false; }
  void Log(const std::string&, const std::string&) override {}
  void ReportError(const char*, std::exception_ptr) override {}
  bool RequestFlush() override { return false; }
  std::uint64_t NowMs() override { return GetTickCount64(); }
};

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
