#pragma once
// The JSON outputs: every message a decoder sent also goes out as one JSON
// line, to a UDP destination (a datagram each), to a TCP server the program
// connects to (and reconnects to, with the messages of the meantime kept up
// to a limit), or to every reader of a port the program serves. Each owns
// its backlog, counters and state; one that fails stops nothing else.
// GUI thread only: Winsock notifications through CSocket.

#include <memory>
#include <string>
#include <vector>

#include "common/bounded_queue.h"
#include "net/json_feed.h"
#include "net/owned_socket.h"
#include "outputs/client_pool.h"
#include "outputs/client_port_output.h"
#include "outputs/json_line_encoder.h"
#include "outputs/reconnecting_socket.h"
#include "router/message_router.h"
#include "settings/settings.h"

// The JSON lines of one serve: reader, on its socket.
class JsonStreamOutput : public ClientPortOutput {
 public:
  JsonStreamOutput(std::function<CSocket*()> socket, JsonLineEncoder& encoder)
      : ClientPortOutput(std::move(socket)), mEncoder(encoder) {}
  std::string DropReason() const override { return "JSON reader not reading"; }

 protected:
  bool Wants(const PreparedMessage& m) const override { return !m.FromJson; }
  std::string_view Bytes(const PreparedMessage& m) override { return mEncoder.Line(m); }

 private:
  JsonLineEncoder& mEncoder;
};

// udp:HOST:PORT. The host's name is looked up once (again after an error);
// the first line waits inside the socket for the lookup and the rest here.
// Each line goes as a datagram of its own, to that destination only: what
// arrives on the output's socket is thrown away.
class JsonUdpOutput : public MessageOutput, public JsonFeed, private CSocketEvents {
 public:
  // Lines that may wait for one flush, or for the name's lookup; the
  // newest go first.
  static constexpr BoundedQueue::Limits kWaitingLimits{4 * 1024 * 1024, 1000};

  JsonUdpOutput(const Endpoint& endpoint, JsonLineEncoder& encoder, LogSink log,
                BoundedQueue::Limits limits = kWaitingLimits);

  Delivery Take(const PreparedMessage& message) override;
  void Flush() override { SendWaiting(); }
  std::uint64_t Dropped() const override { return mWaiting.Dropped(); }
  std::string DropReason() const override { return "UDP destination " + mEndpoint.Text + " failed"; }

  // Sends what waited for an earlier error to pass.
  void Tick(double) override { SendWaiting(); }
  std::string Name() const override { return mEndpoint.Text; }
  std::string State() const override;
  std::uint64_t Count() const override { return mSent; }
  std::uint64_t Lost() const override { return mWaiting.Dropped(); }
  bool IsInput() const override { return false; }
  // The lines still waiting, and the one waiting for the lookup, are lost.
  void Finish() override;

 private:
  void SendWaiting();
  void Sent();
  void Failed(const std::string& why);
  void OnSendProgress(CSocket&, std::int32_t, std::int32_t bytesRemaining) override;
  void OnError(CSocket&, std::int32_t number, std::string& description, std::int32_t, const std::string&,
               const std::string&, std::int32_t, bool&) override;

  Endpoint mEndpoint;
  JsonLineEncoder& mEncoder;
  LogSink mLog;
  OwnedSocket mSocket;  // none after an error: the next send makes one
  BoundedQueue mWaiting;
  bool mLookingUp = false;  // a line waits in the socket for the name's lookup
  std::uint64_t mSent = 0;
  std::string mError;
};

// tcp:HOST:PORT
class JsonTcpOutput : public MessageOutput, public JsonFeed {
 public:
  // Lines kept while the connection is down; the oldest go first.
  static constexpr BoundedQueue::Limits kWaitingLimits{4 * 1024 * 1024, 1000};

  JsonTcpOutput(const Endpoint& endpoint, JsonLineEncoder& encoder, LogSink log,
                BoundedQueue::Limits limits = kWaitingLimits);

  Delivery Take(const PreparedMessage& message) override;
  void Flush() override;
  std::uint64_t Dropped() const override { return mWaiting.Dropped() + mStream.Dropped(); }
  std::string DropReason() const override { return "JSON server " + mEndpoint.Text + " not reachable or not reading"; }

  void Tick(double now) override { mConnection.Tick(now); }
  std::string Name() const override { return mEndpoint.Text; }
  std::string State() const override { return mConnection.State(); }
  std::uint64_t Count() const override { return mSent + mStream.Kept(); }
  std::uint64_t Lost() const override { return Dropped(); }
  bool IsInput() const override { return false; }
  // The lines kept for the next connection, and those the socket has not
  // sent yet, are lost.
  void Finish() override;

 private:
  void Up(CSocket& socket);

  Endpoint mEndpoint;
  JsonLineEncoder& mEncoder;
  LogSink mLog;
  BoundedQueue mWaiting;           // while not connected
  std::uint64_t mSent = 0;         // of the waiting ones
  JsonStreamOutput mStream;        // while connected
  bool mWasUp = true;              // for logging each change once
  ReconnectingSocket mConnection;  // last: its events use the members above
};

// serve:PORT or serve:ADDRESS:PORT
class JsonServeOutput : public JsonFeed, private CSocketEvents {
 public:
  static constexpr std::size_t kMaxReaders = 64;

  // Listens at once; raises the socket's error when it cannot.
  JsonServeOutput(const Endpoint& endpoint, MessageRouter& router, JsonLineEncoder& encoder, LogSink log);
  ~JsonServeOutput() override;

  void Tick(double now) override;
  std::string Name() const override { return mEndpoint.Text; }
  std::string State() const override;
  std::uint64_t Count() const override;
  std::uint64_t Lost() const override;
  bool IsInput() const override { return false; }

 private:
  void Listen();
  void OnConnectionRequest(CSocket&, std::intptr_t requestID) override;

  Endpoint mEndpoint;
  LogSink mLog;
  OwnedSocket mListener;
  ClientPool mReaders;
  std::string mError;
};
