#include "capture/capture_writer.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <system_error>
#include <utility>

namespace {

constexpr const char* kPrefix = "capture-";
constexpr const char* kSuffix = ".jsonl";
// What a line costs beyond its content, for the buffer's limit.
constexpr std::size_t kLineOverhead = 96;

std::tm LocalTime(std::time_t t) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  return local;
}

std::string DateText(const std::tm& local) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  return text;
}

std::time_t Seconds(std::int64_t micros) {
  return static_cast<std::time_t>(micros / 1000000 - (micros % 1000000 < 0 ? 1 : 0));
}

// capture-YYYY-MM-DD.jsonl: its date, or empty for any other name.
std::string DateOfCaptureFile(const std::string& name) {
  const std::string prefix = kPrefix, suffix = kSuffix;
  if (name.size() != prefix.size() + 10 + suffix.size() || name.rfind(prefix, 0) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return {};
  }
  const std::string date = name.substr(prefix.size(), 10);
  for (std::size_t i = 0; i < date.size(); ++i) {
    const bool dash = i == 4 || i == 7;
    if (dash ? date[i] != '-' : (date[i] < '0' || date[i] > '9')) return {};
  }
  return date;
}

// Whole days from one YYYY-MM-DD to another, each taken at its noon.
long DaysBetween(const std::string& from, const std::string& to) {
  auto noon = [](const std::string& date) {
    std::tm t{};
    t.tm_year = std::stoi(date.substr(0, 4)) - 1900;
    t.tm_mon = std::stoi(date.substr(5, 2)) - 1;
    t.tm_mday = std::stoi(date.substr(8, 2));
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return std::mktime(&t);
  };
  const double seconds = std::difftime(noon(to), noon(from));
  return static_cast<long>(seconds / 86400 + (seconds < 0 ? -0.5 : 0.5));
}

}  // namespace

std::int64_t CaptureWriter::SystemMicros() {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

std::string CaptureWriter::FileNameFor(std::int64_t micros) {
  return kPrefix + DateText(LocalTime(Seconds(micros))) + kSuffix;
}

CaptureWriter::CaptureWriter(Options options, Clock clock, ReportSink report)
    : mOptions(std::move(options)), mClock(std::move(clock)), mSink(std::move(report)), mThread([this] { Run(); }) {}

CaptureWriter::~CaptureWriter() {
  {
    const std::lock_guard lock(mMutex);
    mStop = true;
  }
  mWake.notify_one();
  mThread.join();
  // The last reports (lines lost at the end) go to the log.
  Tick();
}

void CaptureWriter::TextArrived(const std::string& input, std::string_view text) {
  Add(input, text, CaptureRecord::Kind::Text);
}

void CaptureWriter::ObjectArrived(const std::string& input, std::string_view object) {
  Add(input, object, CaptureRecord::Kind::Object);
}

void CaptureWriter::Add(const std::string& input, std::string_view content, CaptureRecord::Kind kind) {
  // Whatever goes wrong here costs the line, never the message.
  try {
    const std::int64_t now = mClock();
    const std::size_t cost = input.size() + content.size() + kLineOverhead;
    const std::lock_guard lock(mMutex);
    if (mEnded || mPendingBytes + cost > mOptions.MaxBufferedBytes) {
      ++mLost;
      return;
    }
    mPending.push_back({input, now, kind, std::string(content)});
    mPendingBytes += cost;
  } catch (...) {
    ++mLost;
  }
}

void CaptureWriter::Tick() {
  std::vector<std::string> reports;
  {
    const std::lock_guard lock(mMutex);
    reports.swap(mReports);
    const std::uint64_t lost = mLost;
    if (lost > mLostReported) {
      reports.push_back("Capture: " + std::to_string(lost - mLostReported) +
                        " lines lost, more came than the disk took; the forwarding goes on");
      mLostReported = lost;
    }
  }
  for (const std::string& text : reports) mSink(text);
}

void CaptureWriter::Flush() {
  std::unique_lock lock(mMutex);
  const std::uint64_t ticket = ++mFlushAsked;
  mWake.notify_one();
  mDone.wait(lock, [&] { return mEnded || mFlushDone >= ticket; });
}

void CaptureWriter::Run() {
  std::string why;
  try {
    Loop();
  } catch (const std::exception& e) {
    why = e.what();
  } catch (...) {
    why = "an unknown fault";
  }
  // The thread ends: for good, or because it was told to. What still waits
  // cannot be written any more, and is counted; so is what comes later.
  std::size_t left = 0;
  {
    const std::lock_guard lock(mMutex);
    mEnded = true;
    left = mPending.size();
    mPending.clear();
    mPendingBytes = 0;
    mLost += left;
    if (!mStop) {
      mCannotWrite = true;
      mReports.push_back("Capture: stopped (" + why + "); nothing more is captured until the next start; " +
                         std::to_string(left) + " lines lost; the forwarding goes on");
      mLostReported += left;
    }
  }
  mDone.notify_all();
}

void CaptureWriter::Loop() {
  // Today's file is opened at once, so that a folder that cannot be written
  // is reported at start-up, not with the first message, and old days go.
  bool opened = false;
  try {
    opened = OpenFor(FileNameFor(mClock()));
  } catch (...) {
  }
  if (!opened) Failed(0);
  std::unique_lock lock(mMutex);
  for (;;) {
    mWake.wait_for(lock, mOptions.Interval, [&] { return mStop || mFlushAsked > mFlushDone; });
    const std::uint64_t asked = mFlushAsked;
    const bool stopping = mStop;
    std::deque<CaptureRecord> batch;
    batch.swap(mPending);
    mPendingBytes = 0;
    lock.unlock();
    Write(batch);
    lock.lock();
    mFlushDone = asked;
    mDone.notify_all();
    if (stopping) break;
  }
}

void CaptureWriter::Write(const std::deque<CaptureRecord>& batch) {
  // The lines of one day go to its file in one write; a line is in the file
  // whole or not at all, and each one that is not is counted.
  std::string lines, day;
  std::size_t count = 0, failed = 0, written = 0;
  auto write = [&] {
    if (count == 0) return;
    std::size_t whole = 0;
    try {
      if (OpenFor(day)) whole = mFile.AppendLines(lines);
    } catch (...) {
      // Counted below, as every line that is not in the file.
    }
    mWritten += whole;
    written += whole;
    failed += count - whole;
    if (whole < count) mFile.Close();  // the next write opens the file afresh
    lines.clear();
    count = 0;
  };
  for (const CaptureRecord& record : batch) {
    try {
      const std::string name = FileNameFor(record.Micros);
      if (name != day) {
        write();
        day = name;
      }
      lines += CaptureLine(record) + '\n';
      ++count;
    } catch (...) {
      ++mLost;  // this line alone; the next tick tells of it
    }
  }
  write();
  if (failed > 0) {
    Failed(failed);
  } else if (mFailing && written > 0) {
    mFailing = false;
    mCannotWrite = false;
    Report("Capture: writing " + files::Join(mOptions.Folder, mFileName) + " again; " +
           std::to_string(mLost - mLostWhenFailed) + " lines were lost");
  }
}

void CaptureWriter::Failed(std::size_t lines) {
  mCannotWrite = true;
  // The file is opened afresh for the next batch.
  mFile.Close();
  const std::string file = files::Join(mOptions.Folder, mFileName.empty() ? FileNameFor(mClock()) : mFileName);
  mFileName.clear();
  {
    const std::lock_guard lock(mMutex);
    mLostReported += lines;  // told of below, or by the report of its recovery
  }
  mLost += lines;
  if (!mFailing) {
    mFailing = true;
    mLostWhenFailed = mLost - lines;
    Report("Capture: cannot write " + file + " (folder missing or read-only, or disk full); the forwarding goes on");
  }
}

bool CaptureWriter::OpenFor(const std::string& name) {
  if (name == mFileName && mFile.IsOpen()) return true;
  mFile.Close();
  mFileName = name;
  files::MakeFolders(mOptions.Folder);
  if (!mFile.Open(files::Join(mOptions.Folder, name))) return false;
  Prune(mClock());
  return true;
}

void CaptureWriter::Prune(std::int64_t now) {
  // A day's file goes only when both the names and the clock say that it is
  // old: the kept number of newer day files is in the folder, and its day is
  // before the kept days by the clock. The clock alone would let one stamp a
  // year ahead delete every day. Only days up to the one being opened count,
  // so a file dated ahead by a clock that was wrong pushes out no day that is
  // still kept. While the program runs, a day that does not follow the one
  // opened before it (a clock set ahead, or put back) deletes nothing: the
  // next day change does, once the days run on as days do.
  const std::string opened = DateOfCaptureFile(mFileName);
  const std::string before = std::exchange(mOpenedDay, opened);
  if (opened.empty() || (!before.empty() && before != opened && DaysBetween(before, opened) != 1)) return;
  std::tm first = LocalTime(Seconds(now));
  first.tm_mday -= mOptions.KeepDays - 1;
  first.tm_hour = 12;  // at noon, so that a day of 23 or 25 hours cannot move the date
  first.tm_isdst = -1;
  const std::string oldestKept = DateText(LocalTime(std::mktime(&first)));
  std::vector<std::string> days;  // their dates, newest first
  for (const std::string& name : files::FileNames(mOptions.Folder)) {
    const std::string date = DateOfCaptureFile(name);
    if (!date.empty() && date <= opened) days.push_back(date);
  }
  std::sort(days.begin(), days.end(), std::greater<>());
  for (std::size_t i = static_cast<std::size_t>(mOptions.KeepDays); i < days.size(); ++i) {
    if (days[i] < oldestKept) files::Remove(files::Join(mOptions.Folder, kPrefix + days[i] + kSuffix));
  }
}

void CaptureWriter::Report(std::string text) {
  const std::lock_guard lock(mMutex);
  mReports.push_back(std::move(text));
}
