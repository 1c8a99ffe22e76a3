#include "pipeline/debug_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_working_dir.h"

namespace fs = std::filesystem;
using REZUZ2ARI::DebugLogError;
using REZUZ2ARI::WriteDebugLog;

namespace {

const std::string kSeparator = "***-------------------------------------------------***\r\n";

class DebugLog : public InTempWorkingDir {
 protected:
  static std::string ReadLog() { return ReadFile("xmlfile.log"); }
};

}  // namespace

TEST_F(DebugLog, EntriesAreAppendedByteForByte) {
  EXPECT_FALSE(fs::exists("xmlfile.log"));
  WriteDebugLog("not send Message", "");
  WriteDebugLog(".D-ABCD XY012A\r\n*frame\r\nBytes: 45", "line 1\r\nline 2");
  const std::string expected = "DES: not send Message\r\n\r\nMSG: \r\n\r\n" + kSeparator +
                               "DES: .D-ABCD XY012A\r\n*frame\r\nBytes: 45\r\n\r\nMSG: \r\nline 1\r\nline 2\r\n" +
                               kSeparator;
  EXPECT_EQ(ReadLog(), expected);
}

TEST_F(DebugLog, ExistingLogIsNeverCut) {
  { std::ofstream("xmlfile.log", std::ios::binary) << "earlier entries\r\n"; }
  WriteDebugLog("AirNav", "0-");
  EXPECT_EQ(ReadLog(), "earlier entries\r\nDES: AirNav\r\n\r\nMSG: \r\n0-\r\n" + kSeparator);
}

TEST_F(DebugLog, UnwritableLogIsReportedAndTouchesNothing) {
  // A folder in the log's place: it can be neither opened nor created.
  fs::create_directory("xmlfile.log");
  fs::path inside = fs::path("xmlfile.log") / "keep.txt";
  std::ofstream(inside) << "x";
  EXPECT_THROW(WriteDebugLog("DES", "MSG"), DebugLogError);
  EXPECT_TRUE(fs::is_directory("xmlfile.log"));
  EXPECT_TRUE(fs::exists(inside));
}

TEST_F(DebugLog, AFullLogIsKeptOnceAsTheOlderCopyAndANewOneBegins) {
  using REZUZ2ARI::FormatDebugLogEntry;
  using REZUZ2ARI::kDebugLogMaxBytes;
  const std::string entry = FormatDebugLogEntry("SkySpy:", "0-");
  const struct {
    std::uint64_t Before;  // bytes in the log before the entry
    bool NewFile;          // the entry begins a new file
  } kCases[] = {
      {kDebugLogMaxBytes - entry.size(), false},     // the entry fills it to the limit
      {kDebugLogMaxBytes - entry.size() + 1, true},  // one byte past
      {kDebugLogMaxBytes + 5, true},                 // a log grown past it before
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.Before);
    { std::ofstream("xmlfile.log.old", std::ios::binary) << "oldest"; }
    const std::string before(c.Before, 'x');
    { std::ofstream("xmlfile.log", std::ios::binary) << before; }
    WriteDebugLog("SkySpy:", "0-");
    // Compared whole but not printed: megabytes of 'x'.
    EXPECT_TRUE(ReadLog() == (c.NewFile ? entry : before + entry));
    EXPECT_TRUE(ReadFile("xmlfile.log.old") == (c.NewFile ? before : "oldest"));
  }
}
