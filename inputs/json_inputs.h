#pragma once
// The JSON inputs: feeds of SDR decoders (acarsdec, dumpvdl2, or a router
// that serves them) whose messages are forwarded like a decoder's: a UDP
// port the program listens on, or a TCP server it connects to (and
// reconnects to). Each input cuts what arrives into objects, converts each
// one and hands the message to the router; what is not a whole ACARS
// message is counted and skipped. Nothing a sender sends can stop the
// program or the other inputs.
// Threading: each input reads its socket on a thread of its own, so the
// socket is drained however busy the window's thread is; the thread cuts
// whole objects and leaves them in a bounded inbox, and wakes the router's
// thread (the one that made the input) with one posted message per batch.
// Conversion, the router and the log stay on the router's thread. The
// destructor stops the thread and waits for it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "inputs/json_inbox.h"
#include "net/json_feed.h"
#include "net/unique_socket.h"
#include "pipeline/json_framer.h"
#include "router/message_router.h"
#include "settings/settings.h"
#include "win32/win32_handles.h"

class JsonInput : public JsonFeed {
 public:
  // Objects that may wait for the router's thread.
  static constexpr BoundedQueue::Limits kInboxLimits{4 * 1024 * 1024, 10000};

  ~JsonInput() override;
  JsonInput(const JsonInput&) = delete;
  JsonInput& operator=(const JsonInput&) = delete;

  // Also hands over what waits, should a wake have been lost.
  void Tick(double) override { Deliver(); }
  std::string Name() const override { return mEndpoint.Text; }
  std::uint64_t Count() const override { return mTaken; }
  // Not ACARS, broken or partial, and dropped while the inbox was full.
  std::uint64_t Lost() const override { return mSkipped + mFramerSkipped + mInbox.Dropped(); }
  bool IsInput() const override { return true; }
  // Stops the reader, then delivers what it left in the inbox.
  void Finish() override;
  std::size_t RouterInput() const { return mInput; }

 protected:
  // `source`: the header's source number for its messages.
  JsonInput(const Endpoint& endpoint, DecoderSource source, MessageRouter& router, LogSink log,
            BoundedQueue::Limits limits);

  // Runs `read` on the reader thread; it returns once StopEvent() is set.
  void StartReader(std::function<void()> read);
  // Sets the stop event and waits for the thread. Idempotent.
  void StopReader();
  HANDLE StopEvent() const { return mStop.get(); }

  // For the reader thread: bytes that arrived, the end of a datagram (or of
  // a connection: a piece of an object is no object), a note for the log.
  void Received(std::string_view bytes);
  void EndOfDatagram();
  void Note(std::string text);

  Endpoint mEndpoint;

 private:
  WinsockSession mWinsock;  // outlives the sockets of the input and its reader
  void HandOver();
  void Wake(bool needed);
  // The router's thread: converts and forwards what the thread left.
  void Deliver();
  static LRESULT CALLBACK WakeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  DecoderSource mSource;
  MessageRouter& mRouter;
  LogSink mLog;
  std::size_t mInput;
  std::uint64_t mTaken = 0, mSkipped = 0;  // the router's thread
  bool mDelivering = false;
  JsonFramer mFramer;  // the reader thread
  std::atomic<std::uint64_t> mFramerSkipped{0};
  JsonInbox mInbox;
  UniqueWindow mWake;        // message-only window on the router's thread
  UniqueKernelHandle mStop;  // manual-reset event
  std::thread mReader;
};

// udp:PORT or udp:ADDRESS:PORT
class JsonUdpInput : public JsonInput {
 public:
  // Binds at once; raises the socket's error when it cannot.
  JsonUdpInput(const Endpoint& endpoint, DecoderSource source, MessageRouter& router, LogSink log,
               BoundedQueue::Limits limits = kInboxLimits);
  ~JsonUdpInput() override;
  std::string State() const override { return "listening"; }

 private:
  void Read();

  UniqueSocket mSocket;
};

// tcp:HOST:PORT
class JsonTcpInput : public JsonInput {
 public:
  JsonTcpInput(const Endpoint& endpoint, DecoderSource source, MessageRouter& router, LogSink log,
               BoundedQueue::Limits limits = kInboxLimits);
  ~JsonTcpInput() override;
  // "connected", "connecting", "retrying in 4 s: 10061 Connection refused."
  std::string State() const override;

 private:
  void Read();
  // Connects to the host: the connected socket, or none with `why`.
  UniqueSocket Connect(HANDLE ready, std::string& why);
  // Reads until the connection ends; returns why it ended, or nothing when
  // the input is stopping.
  std::optional<std::string> ReadConnection(SOCKET s, HANDLE ready);

  mutable std::mutex mStateMutex;
  enum class Phase { Connecting, Connected, Retrying } mPhase = Phase::Connecting;
  double mRetryAt = 0;
  std::string mError;
};
