#pragma once
// A router with no window around it, for tests of one input or output: it
// sends at once (no flush is promised) and counts what each output gets.

#include <windows.h>

#include <exception>
#include <string>
#include <vector>

#include "router/message_router.h"
#include "support/message_pump.h"

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
