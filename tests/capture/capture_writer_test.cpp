#include "capture/capture_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "replay.h"
#include "support/full_disk.h"
#include "support/nested_json.h"

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

namespace fs = std::filesystem;

namespace {

// Microseconds of a local time (as mktime reads it).
std::int64_t LocalMicros(int year, int month, int day, int hour, int minute, int second, int micros = 0) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&t)) * 1000000 + micros;
}

std::vector<std::string> Lines(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

template <typename Done>
bool WaitFor(Done done, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class Capture : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("bridge-capture-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  CaptureWriter::Options Options(int keepDays = 7) const {
    CaptureWriter::Options o;
    o.Folder = folder_.string();
    o.KeepDays = keepDays;
    return o;
  }
  CaptureWriter::Clock Clock() {
    return [this] { return now_.load(); };
  }
  // The first line of 2026-12-09 comes: `oldest` goes, that day's file
  // comes, and the folder holds `expected` so changed.
  void NextDayTakes(CaptureWriter& writer, std::set<std::string>& expected, const std::string& oldest) {
    now_ = LocalMicros(2026, 12, 9, 0, 0, 1);
    writer.TextArrived("SkySpy", "tomorrow");
    writer.Flush();
    expected.erase(oldest);
    expected.insert("capture-2026-12-09.jsonl");
    EXPECT_EQ(Names(folder_), expected);
  }
  CaptureWriter::ReportSink Sink() {
    return [this](const std::string& text) { reports_.push_back(text); };
  }

  fs::path folder_;
  std::atomic<std::int64_t> now_{LocalMicros(2026, 12, 8, 12, 0, 0)};
  std::vector<std::string> reports_;
};

}  // namespace

TEST_F(Capture, EveryArrivalIsWrittenWithinASecondWithoutAFlush) {
  CaptureWriter writer(Options(), Clock(), Sink());
  now_ = LocalMicros(2026, 12, 8, 19, 26, 20, 123456);
  writer.TextArrived("SkySpy", "ACARS mode: 2\r\n");
  writer.ObjectArrived("udp:5550", R"({"label":"H1"})");
  const fs::path file = folder_ / "capture-2026-12-08.jsonl";
  ASSERT_TRUE(WaitFor([&] { return Lines(file).size() == 2; }, std::chrono::milliseconds(3000)));
  const auto lines = Lines(file);
  std::string why;
  const auto text = ParseCaptureLine(lines[0], why);
  ASSERT_TRUE(text) << why;
  EXPECT_EQ(*text, (CaptureRecord{"SkySpy", now_, CaptureRecord::Kind::Text, "ACARS mode: 2\r\n"}));
  const auto object = ParseCaptureLine(lines[1], why);
  ASSERT_TRUE(object) << why;
  EXPECT_EQ(*object, (CaptureRecord{"udp:5550", now_, CaptureRecord::Kind::Object, R"({"label":"H1"})"}));
  EXPECT_EQ(writer.Written(), 2u);
  EXPECT_EQ(writer.Lost(), 0u);
}

TEST_F(Capture, ANewFileBeginsAtLocalMidnight) {
  CaptureWriter writer(Options(), Clock(), Sink());
  now_ = LocalMicros(2026, 12, 8, 23, 59, 59, 999999);
  writer.TextArrived("SkySpy", "before");
  now_ = LocalMicros(2026, 12, 9, 0, 0, 0);
  writer.TextArrived("SkySpy", "after");
  writer.Flush();
  EXPECT_EQ(Names(folder_), (std::set<std::string>{"capture-2026-12-08.jsonl", "capture-2026-12-09.jsonl"}));
  ASSERT_EQ(Lines(folder_ / "capture-2026-12-08.jsonl").size(), 1u);
  EXPECT_NE(Lines(folder_ / "capture-2026-12-08.jsonl")[0].find("\"before\""), std::string::npos);
  ASSERT_EQ(Lines(folder_ / "capture-2026-12-09.jsonl").size(), 1u);
  EXPECT_NE(Lines(folder_ / "capture-2026-12-09.jsonl")[0].find("\"after\""), std::string::npos);
}

TEST_F(Capture, AppendsToTheDaysFileOfAnEarlierRun) {
  fs::create_directories(folder_);
  std::ofstream(folder_ / "capture-2026-12-08.jsonl", std::ios::binary) << "{\"earlier\":1}\n";
  {
    CaptureWriter writer(Options(), Clock(), Sink());
    writer.TextArrived("AirNav", "later");
  }  // the destructor writes what waits
  const auto lines = Lines(folder_ / "capture-2026-12-08.jsonl");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "{\"earlier\":1}");
  EXPECT_NE(lines[1].find("\"later\""), std::string::npos);
}

TEST_F(Capture, KeepsTheLastDaysAndDeletesNothingButOlderCaptureFiles) {
  fs::create_directories(folder_);
  const std::vector<std::string> others = {"notes.txt", "capture-old.jsonl", "capture-2026-11-01.jsonl.bak",
                                           "capture-2026-11-01.json"};
  for (const auto& name : others) std::ofstream(folder_ / name) << "x\n";
  for (int day = 1; day <= 7; ++day) {
    std::ofstream(folder_ / ("capture-2026-12-0" + std::to_string(day) + ".jsonl")) << "{}\n";
  }
  std::ofstream(folder_ / "capture-2025-12-31.jsonl") << "{}\n";
  CaptureWriter writer(Options(3), Clock(), Sink());  // today, the 8th, and the two days before
  writer.TextArrived("SkySpy", "today");
  writer.Flush();
  std::set<std::string> expected(others.begin(), others.end());
  expected.insert({"capture-2026-12-06.jsonl", "capture-2026-12-07.jsonl", "capture-2026-12-08.jsonl"});
  EXPECT_EQ(Names(folder_), expected);

  // The next day's first line takes the oldest kept day away.
  NextDayTakes(writer, expected, "capture-2026-12-06.jsonl");
}

TEST_F(Capture, AFolderThatCannotBeWrittenIsReportedOnceAndAgainWhenItCanBe) {
  // A file where the folder should be: neither it nor a file in it can be made.
  std::ofstream(folder_) << "in the way\n";
  CaptureWriter writer(Options(), Clock(), Sink());
  writer.TextArrived("SkySpy", "one");
  writer.Flush();
  writer.TextArrived("SkySpy", "two");
  writer.Flush();
  writer.Tick();
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].rfind("Capture: cannot write ", 0), 0u) << reports_[0];
  EXPECT_NE(reports_[0].find("capture-2026-12-08.jsonl"), std::string::npos);
  EXPECT_NE(reports_[0].find("the forwarding goes on"), std::string::npos);
  EXPECT_EQ(writer.Lost(), 2u);
  EXPECT_EQ(writer.Written(), 0u);
  EXPECT_TRUE(writer.CannotWrite());

  fs::remove(folder_);
  writer.TextArrived("SkySpy", "three");
  writer.Flush();
  writer.Tick();
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_NE(reports_[1].find("again; 2 lines were lost"), std::string::npos) << reports_[1];
  EXPECT_EQ(Lines(folder_ / "capture-2026-12-08.jsonl").size(), 1u);
  EXPECT_FALSE(writer.CannotWrite());
  writer.Tick();
  EXPECT_EQ(reports_.size(), 2u);  // nothing new to tell
}

TEST_F(Capture, AtStartTheFolderIsTriedAndOldDaysGoBeforeAnythingArrives) {
  fs::create_directories(folder_);
  std::ofstream(folder_ / "capture-2026-11-30.jsonl") << "{}\n";
  {
    CaptureWriter writer(Options(1), Clock(), Sink());
    EXPECT_TRUE(WaitFor([&] { return Names(folder_) == std::set<std::string>{"capture-2026-12-08.jsonl"}; }));
  }
  fs::remove_all(folder_);
  std::ofstream(folder_) << "in the way\n";
  CaptureWriter writer(Options(), Clock(), Sink());
  EXPECT_TRUE(WaitFor([&] {
    writer.Tick();
    return !reports_.empty();
  }));
  EXPECT_EQ(reports_.at(0).rfind("Capture: cannot write ", 0), 0u);
  EXPECT_EQ(writer.Lost(), 0u);
}

TEST_F(Capture, TheBufferIsBoundedAndWhatDoesNotFitIsCountedAndReported) {
  CaptureWriter::Options options = Options();
  options.MaxBufferedBytes = 10 * 1024;
  options.Interval = std::chrono::hours(1);  // nothing is written until the flush
  CaptureWriter writer(options, Clock(), Sink());
  const std::string text(1000, 'A');
  for (int i = 0; i < 20; ++i) writer.TextArrived("SkySpy", text);
  EXPECT_EQ(writer.Lost(), 11u);  // 9 texts and their overhead fit in 10 KB
  writer.Tick();
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_NE(reports_[0].find("11 lines lost"), std::string::npos) << reports_[0];
  writer.Flush();
  EXPECT_EQ(writer.Written(), 9u);
  EXPECT_EQ(Lines(folder_ / "capture-2026-12-08.jsonl").size(), 9u);
  // Once written, the buffer takes lines again.
  writer.TextArrived("SkySpy", text);
  EXPECT_EQ(writer.Lost(), 11u);
}

TEST_F(Capture, AnObjectNestedThousandsOfLevelsDeepIsCapturedAndTheCaptureGoesOn) {
  CaptureWriter writer(Options(), Clock(), Sink());
  writer.ObjectArrived("udp:5550", NestedJson(100000));
  writer.TextArrived("SkySpy", "after");
  writer.Flush();
  writer.TextArrived("SkySpy", "later");
  writer.Flush();
  const auto lines = Lines(folder_ / "capture-2026-12-08.jsonl");
  ASSERT_EQ(lines.size(), 3u);
  std::string why;
  const auto deep = ParseCaptureLine(lines[0], why);
  ASSERT_TRUE(deep) << why;
  EXPECT_EQ(deep->Content, NestedJson(100000));
  EXPECT_NE(lines[2].find("\"later\""), std::string::npos);
  EXPECT_EQ(writer.Written(), 3u);
  EXPECT_EQ(writer.Lost(), 0u);
}

TEST_F(Capture, AHalfLineLeftByAPowerCutIsFollowedByWholeLinesAndReplaySkipsIt) {
  fs::create_directories(folder_);
  const std::string whole = R"({"input":"SkySpy","time":"2026-12-08T10:00:00.000000Z","text":"A"})";
  std::ofstream(folder_ / "capture-2026-12-08.jsonl", std::ios::binary) << whole << "\n" << whole.substr(0, 30);
  {
    CaptureWriter writer(Options(), Clock(), Sink());
    writer.TextArrived("SkySpy", "B");
    writer.TextArrived("SkySpy", "C");
  }
  const auto lines = Lines(folder_ / "capture-2026-12-08.jsonl");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], whole.substr(0, 30));
  const ReplayPlan plan = ReadReplay(*files::ReadAll((folder_ / "capture-2026-12-08.jsonl").string()));
  ASSERT_EQ(plan.Steps.size(), 3u);
  EXPECT_EQ(plan.Steps[1].Bytes, "B");
  EXPECT_EQ(plan.Skipped, 1u);
  EXPECT_EQ(plan.FirstSkipped, "line 2: not JSON");
}

TEST_F(Capture, AClockAYearAheadDeletesNoDayAndTheDaysRunOnAfterwards) {
  fs::create_directories(folder_);
  for (int day = 2; day <= 8; ++day) {
    std::ofstream(folder_ / ("capture-2026-12-0" + std::to_string(day) + ".jsonl")) << "{}\n";
  }
  CaptureWriter writer(Options(7), Clock(), Sink());
  writer.TextArrived("SkySpy", "today");
  writer.Flush();
  now_ = LocalMicros(2027, 12, 8, 12, 0, 0);  // set wrong...
  writer.TextArrived("SkySpy", "a year ahead");
  writer.Flush();
  now_ = LocalMicros(2026, 12, 8, 12, 0, 5);  // ...and put right
  writer.TextArrived("SkySpy", "today again");
  writer.Flush();
  std::set<std::string> expected = {"capture-2027-12-08.jsonl"};
  for (int day = 2; day <= 8; ++day) expected.insert("capture-2026-12-0" + std::to_string(day) + ".jsonl");
  EXPECT_EQ(Names(folder_), expected);
  EXPECT_EQ(Lines(folder_ / "capture-2026-12-08.jsonl").size(), 3u);  // the earlier line stays
  // The next day the oldest goes, as days go; the day ahead is no kept day.
  NextDayTakes(writer, expected, "capture-2026-12-02.jsonl");
}

TEST_F(Capture, AThreadThatEndsIsReportedAndWhatComesAfterIsCounted) {
  // A clock that fails on the writer's thread: nothing there can name a file.
  const auto testThread = std::this_thread::get_id();
  CaptureWriter writer(
      Options(),
      [&] {
        if (std::this_thread::get_id() != testThread) throw std::runtime_error("the clock failed");
        return now_.load();
      },
      Sink());
  EXPECT_TRUE(WaitFor([&] {
    writer.Tick();
    return !reports_.empty();
  }));
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0],
            "Capture: stopped (the clock failed); nothing more is captured until the next start; "
            "0 lines lost; the forwarding goes on");
  EXPECT_TRUE(writer.CannotWrite());
  writer.TextArrived("SkySpy", "one");
  writer.TextArrived("SkySpy", "two");
  writer.Flush();  // returns: the thread is gone
  EXPECT_EQ(writer.Lost(), 2u);
  writer.Tick();
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_NE(reports_[1].find("2 lines lost"), std::string::npos) << reports_[2];
}

#ifndef _WIN32
// A full disk, for real: the system refuses to let the file grow past a
// size, as it does on a disk with that much space left.
TEST_F(Capture, OnAFullDiskEachLineIsInTheFileWholeOrCountedAsLost) {
  const std::string text(200, 'A');
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto ignored = std::signal(SIGXFSZ, SIG_IGN);
  CaptureWriter::Options options = Options();
  options.Interval = std::chrono::hours(1);
  CaptureWriter writer(options, Clock(), Sink());
  writer.Flush();  // the day's file is there, empty
  rlimit full = old;
  full.rlim_cur = 1500;  // room for 5 lines of about 270 bytes and a part of the 6th
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
  for (int i = 0; i < 20; ++i) writer.TextArrived("SkySpy", text);
  writer.Flush();
  writer.TextArrived("SkySpy", text);  // no room for even one
  writer.Flush();
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
  const fs::path file = folder_ / "capture-2026-12-08.jsonl";
  const std::string bytes = *files::ReadAll(file.string());
  EXPECT_EQ(bytes.back(), '\n');
  EXPECT_EQ(Lines(file).size(), writer.Written());
  EXPECT_EQ(writer.Written(), 5u);
  EXPECT_EQ(writer.Lost(), 16u);

  // Room again: the next lines follow the whole ones, and the report counts
  // exactly the lines that are not in the file.
  writer.TextArrived("SkySpy", "room again");
  writer.Flush();
  std::signal(SIGXFSZ, ignored);
  writer.Tick();
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_EQ(reports_[0].rfind("Capture: cannot write ", 0), 0u) << reports_[0];
  EXPECT_NE(reports_[1].find("again; 16 lines were lost"), std::string::npos) << reports_[1];
  const ReplayPlan plan = ReadReplay(*files::ReadAll(file.string()));
  EXPECT_EQ(plan.Steps.size(), 6u);
  EXPECT_EQ(plan.Skipped, 0u);
}
#endif

// A disk that fills up, for real: scripts/with-full-disk mounts a disk of
// 64 KB in a namespace of its own, for the native test and the one under Wine.
TEST_F(Capture, OnASmallDiskThatFillsUpEachLineIsWholeOrCountedAsLost) {
  const auto disk = FullDiskFolder("capture-test");
  if (!disk) GTEST_SKIP() << "no small disk given (scripts/with-full-disk)";
  folder_ = *disk / "capture";  // the fixture removes it
  const fs::path ballast = *disk / "ballast";
  std::ofstream(ballast, std::ios::binary) << std::string(16 * 1024, 'x');
  CaptureWriter::Options options = Options();
  options.Interval = std::chrono::hours(1);
  CaptureWriter writer(options, Clock(), Sink());
  const std::string text(200, 'A');
  for (int batch = 0; batch < 8; ++batch) {
    for (int i = 0; i < 50; ++i) writer.TextArrived("SkySpy", text);
    writer.Flush();
  }
  const fs::path file = folder_ / "capture-2026-12-08.jsonl";
  EXPECT_GT(writer.Lost(), 0u);
  EXPECT_EQ(writer.Written() + writer.Lost(), 400u);
  fs::remove(ballast);  // room again
  writer.TextArrived("SkySpy", "room again");
  writer.Flush();
  writer.Tick();
  const std::string bytes = *files::ReadAll(file.string());
  EXPECT_EQ(bytes.back(), '\n');
  const ReplayPlan plan = ReadReplay(bytes);
  EXPECT_EQ(plan.Steps.size(), writer.Written());
  EXPECT_EQ(plan.Skipped, 0u);
  EXPECT_EQ(plan.Steps.back().Bytes, "room again");
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_EQ(reports_[0].rfind("Capture: cannot write ", 0), 0u) << reports_[0];
  EXPECT_NE(reports_[1].find("again; " + std::to_string(writer.Lost()) + " lines were lost"), std::string::npos)
      << reports_[1];
}

TEST(CaptureFileName, IsTheLocalDate) {
  EXPECT_EQ(CaptureWriter::FileNameFor(LocalMicros(2027, 1, 2, 0, 0, 0)), "capture-2027-01-02.jsonl");
  EXPECT_EQ(CaptureWriter::FileNameFor(LocalMicros(2027, 1, 1, 23, 59, 59, 999999)), "capture-2027-01-01.jsonl");
}
