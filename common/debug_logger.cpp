#include "common/debug_logger.h"

#include "pipeline/debug_log.h"

void DebugLogger::Write(const std::string& description, const std::string& message) {
  if (!mOn) return;
  try {
    REZUZ2ARI::WriteDebugLog(description, message);
  } catch (const REZUZ2ARI::DebugLogError& e) {
    mFailing = true;
    if (mReporter) mReporter->Report({ReportKey::Kind::DebugLog}, e.what());
    return;
  }
  // The log can be written again: its report goes.
  if (mFailing && mReporter) mReporter->Cleared({ReportKey::Kind::DebugLog});
  mFailing = false;
}
