#pragma once
// A router with an observer and memory streams instead of the window and the
// sockets, for the router's own tests: everything it tells the program is
// kept, and the test plays the message loop's passes. No platform header.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "outputs/stream_output.h"
#include "pipeline/frame_reader.h"
#include "router/message_router.h"

// The contents of the records in a byte stream, in order; fails the test on
// a stream that is not whole records.
inline std::vector<std::string> Contents(const std::string& stream) {
  RecordReader reader;
  reader.Feed(stream);
  std::vector<std::string> out;
  while (auto r = reader.Next()) {
    const auto f = ParseFrameText(r->Frame);
    EXPECT_TRUE(f.has_value());
    if (f) out.push_back(f->Text.substr(0, f->Text.find('\r')));
  }
  EXPECT_TRUE(reader.Error().empty()) << reader.Error();
  EXPECT_EQ(reader.Buffered(), 0u) << "a record was cut";
  return out;
}

// A byte stream in memory: `unsent` bytes stay "in the transport" until the
// test lets them go, as with a client that stops reading.
class MemoryStream : public StreamOutput {
 public:
  explicit MemoryStream(std::size_t limit) : StreamOutput(limit) {}
  std::string DropReason() const override { return "client not reading"; }

  bool open = true;
  bool holdBack = false;  // keep written bytes as unsent
  std::size_t unsent = 0;
  std::string stream;
  std::vector<std::size_t> writes;
  std::function<void()> onWrite;

 protected:
  bool Open() const override { return open; }
  std::size_t Unsent() const override { return unsent; }
  void Write(const std::string& bytes) override {
    if (onWrite) onWrite();
    stream += bytes;
    writes.push_back(bytes.size());
    if (holdBack) unsent += bytes.size();
  }
};

class Observer : public RouterEvents {
 public:
  std::vector<Latest> shown;
  std::vector<std::string> logs;
  std::vector<std::string> errors;
  std::uint64_t dropEvents = 0, lastTotal = 0;
  std::uint64_t now = 1000;
  std::uint64_t step = 0;  // milliseconds that pass between two looks at the clock
  bool logOn = true;
  bool promiseFlush = true;  // the program can post itself the flush
  int flushRequests = 0;
  std::function<void()> onShow;
  bool failDropReport = false, failLog = false;

  void ShowLatest(const Latest& latest) override {
    shown.push_back(latest);
    if (onShow) onShow();
  }
  void MessageDropped(const MessageOutput&, std::uint64_t total) override {
    ++dropEvents;
    lastTotal = total;
    if (failDropReport) throw std::runtime_error("panel failed");
  }
  bool LogEnabled() override { return logOn; }
  void Log(const std::string& description, const std::string&) override {
    logs.push_back(description);
    if (failLog) throw std::runtime_error("log failed");
  }
  void ReportError(const char* where, std::exception_ptr error) override {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      errors.push_back(std::string(where) + ": " + e.what());
    }
  }
  bool RequestFlush() override {
    ++flushRequests;
    return promiseFlush;
  }
  std::uint64_t NowMs() override { return now += step; }
};

struct RouterTest : ::testing::Test {
  Observer events;
  MessageRouter router{events};
  std::size_t skyspy = router.AddInput("SkySpy", DecoderSource::SkySpy);
  std::size_t posfix = router.AddInput("Posfix", DecoderSource::AirNavPosfix);
  // What the message loop does when it comes to the router's request.
  void LoopPass() {
    if (events.flushRequests > flushesDone) {
      flushesDone = events.flushRequests;
      router.Flush();
    }
  }
  int flushesDone = 0;
};
