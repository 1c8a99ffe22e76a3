#pragma once
// CaptureWriter: appends every text and object the inputs receive, as one
// JSON line each (capture/capture_line.h), to capture-YYYY-MM-DD.jsonl in a
// folder: a new file at each local midnight, and only the last few days kept
// (older capture files are deleted, decided by the days in the folder as
// well as by the clock; nothing else in the folder is touched). A line is
// in the file whole or not at all, even on a full disk, and a file that a
// power cut left with a half line gets the next line on a line of its own.
// The router's thread only copies what arrived into a buffer; a thread of
// the writer's own formats and writes it, at least once a second, so a slow
// or full disk never holds up the forwarding. The buffer is bounded: what
// does not fit is dropped and counted, never a message. A folder that
// cannot be written is reported (once, and again when writing works again)
// and the forwarding goes on; so is a thread that ends for any other reason.
// Threading: TextArrived and ObjectArrived on the router's thread; Tick
// hands the reports to the sink on the thread that calls it (the window's
// one-second timer). No platform header: tested natively.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_line.h"
#include "common/files.h"
#include "router/message_router.h"

class CaptureWriter : public ArrivalTap {
 public:
  // Unix time in microseconds.
  using Clock = std::function<std::int64_t()>;
  // A report for the status bar and the log.
  using ReportSink = std::function<void(const std::string& text)>;

  struct Options {
    std::string Folder;
    int KeepDays = 7;                                 // today and the days before it
    std::size_t MaxBufferedBytes = 16 * 1024 * 1024;  // what may wait for the disk
    std::chrono::milliseconds Interval{1000};         // the longest a line waits
  };

  CaptureWriter(Options options, Clock clock, ReportSink report);
  // Writes what waits, then stops the thread; the last reports go to the
  // sink.
  ~CaptureWriter();
  CaptureWriter(const CaptureWriter&) = delete;
  CaptureWriter& operator=(const CaptureWriter&) = delete;

  void TextArrived(const std::string& input, std::string_view text) override;
  void ObjectArrived(const std::string& input, std::string_view object) override;

  // Hands the reports that came since the last call to the sink.
  void Tick();
  // Writes what waits now; returns once it is written (or lost), or the
  // thread has ended.
  void Flush();

  std::uint64_t Written() const { return mWritten; }
  // The file cannot be written now, or the thread has ended before its
  // time: what arrives is not captured. Any thread.
  bool CannotWrite() const { return mCannotWrite; }
  // Lines lost: the buffer was full, or the file could not be written.
  std::uint64_t Lost() const { return mLost; }

  // The system's clock, for the program.
  static std::int64_t SystemMicros();
  // "capture-2026-12-08.jsonl" for the local day of `micros`.
  static std::string FileNameFor(std::int64_t micros);

 private:
  void Add(const std::string& input, std::string_view content, CaptureRecord::Kind kind);
  // The thread: runs the loop; whatever ends it is reported, and what still
  // waits is counted as lost.
  void Run();
  void Loop();
  void Write(const std::deque<CaptureRecord>& batch);
  // The file cannot be written: `lines` are lost; the first failure is reported.
  void Failed(std::size_t lines);
  bool OpenFor(const std::string& name);
  // Deletes the capture files of days before the kept ones.
  void Prune(std::int64_t now);
  void Report(std::string text);

  const Options mOptions;
  const Clock mClock;
  const ReportSink mSink;

  std::mutex mMutex;  // guards what follows, up to the writer thread's own
  std::condition_variable mWake, mDone;
  std::deque<CaptureRecord> mPending;
  std::size_t mPendingBytes = 0;
  std::uint64_t mFlushAsked = 0, mFlushDone = 0;
  bool mStop = false;
  bool mEnded = false;  // the thread has ended: what comes is counted as lost
  std::vector<std::string> mReports;
  std::uint64_t mLostReported = 0;  // lost lines that a report already told of

  std::atomic<std::uint64_t> mWritten{0}, mLost{0};
  std::atomic<bool> mCannotWrite{false};

  // The writer thread's own.
  files::AppendFile mFile;
  std::string mFileName;   // the open file's; empty: none open
  std::string mOpenedDay;  // the date of the day file opened last in this run, for pruning
  bool mFailing = false;
  std::uint64_t mLostWhenFailed = 0;

  std::thread mThread;  // last: starts once everything above is there
};
