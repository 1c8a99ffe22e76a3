#include "debug_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;
using REZUZ2ARI::DebugLogError;
using REZUZ2ARI::WriteDebugLog;

namespace {

const std::string kSeparator = "***-------------------------------------------------***\r\n";

// Runs each test in a fresh working directory, since the log is always
// "xmlfile.log" in the current one.
class DebugLog : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("debuglog-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }
  static std::string ReadLog() {
    std::ifstream in("xmlfile.log", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  fs::path previous_, dir_;
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
