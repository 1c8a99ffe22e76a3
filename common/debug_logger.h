#pragma once
// DebugLogger: the debug log as the components write it. Whether it is on
// is kept here (File > Debug Log switches it), and a log that cannot be
// written is reported in one place (and cleared once an entry can be
// written again); the forwarding goes on. No platform
// header.

#include <string>

#include "common/reporter.h"

class DebugLogger {
 public:
  DebugLogger(bool on, Reporter* reporter) : mOn(on), mReporter(reporter) {}

  bool On() const { return mOn; }
  void SetOn(bool on) { mOn = on; }
  // No report may reach a reporter that is gone.
  void SetReporter(Reporter* reporter) { mReporter = reporter; }
  // Appends an entry when the log is on.
  void Write(const std::string& description, const std::string& message);

 private:
  bool mOn;
  Reporter* mReporter;
  bool mFailing = false;  // the last entry could not be written
};
