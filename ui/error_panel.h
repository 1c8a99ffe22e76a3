#pragma once
// ErrorPanel: what the status bar's error panel shows. Every report is kept
// by its key (its kind and the input it is about), so that a condition that
// ends clears its own report and never another one's: when the report shown
// is cleared, the newest report still standing takes its place. A one-off
// fault stands only until a newer report replaces it. No platform header.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/reporter.h"

class ErrorPanel {
 public:
  // Reports `text` under `key`; it is the one shown now.
  void Report(ReportKey key, const std::string& text);
  // The condition of `key` ended. Returns whether the text shown changed.
  bool Clear(ReportKey key);
  // The text to show: the newest report still standing, or "".
  const std::string& Shown() const;
  // Every report standing, newest first.
  std::vector<std::pair<ReportKey, std::string>> Standing() const;

 private:
  struct Entry {
    std::string Text;
    unsigned long long Order;  // later reports have higher numbers
  };
  std::map<ReportKey, Entry> mStanding;
  unsigned long long mNext = 0;
};
