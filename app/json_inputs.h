#pragma once
// The JSON inputs: feeds of SDR decoders (acarsdec, dumpvdl2, or a router
// that serves them) whose messages are forwarded like a decoder's: a UDP
// port the program listens on, or a TCP server it connects to (and
// reconnects to). Each input cuts what arrives into objects, converts each
// one and hands the message to the router; what is not a whole ACARS
// message is counted and skipped. Nothing a sender sends can stop the
// program or the other inputs. GUI thread only: notifications via CSocket.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "csocket.h"
#include "json_feed.h"
#include "json_framer.h"
#include "message_router.h"
#include "reconnecting_socket.h"
#include "settings.h"

class JsonInput : public JsonFeed, protected CSocketEvents {
 public:
  // `source`: the header's source number for its messages.
  JsonInput(const Endpoint& endpoint, DecoderSource source, MessageRouter& router, LogSink log);

  std::string Name() const override { return mEndpoint.Text; }
  std::uint64_t Count() const override { return mTaken; }
  std::uint64_t Lost() const override { return mSkipped + mFramer.Skipped(); }
  bool IsInput() const override { return true; }
  std::size_t RouterInput() const { return mInput; }

 protected:
  // Hands every whole object the framer holds to the router.
  void Deliver();
  void OnDataArrival(CSocket& socket, std::int32_t) override;
  virtual void EndOfRead() {}

  Endpoint mEndpoint;
  DecoderSource mSource;
  MessageRouter& mRouter;
  LogSink mLog;
  std::size_t mInput;
  JsonFramer mFramer;
  std::uint64_t mTaken = 0, mSkipped = 0;
};

// udp:PORT or udp:ADDRESS:PORT
class JsonUdpInput : public JsonInput {
 public:
  // Binds at once; raises the socket's error when it cannot.
  JsonUdpInput(const Endpoint& endpoint, DecoderSource source, MessageRouter& router, LogSink log);
  ~JsonUdpInput() override;
  std::string State() const override { return "listening"; }

 protected:
  void EndOfRead() override { mFramer.EndOfDatagram(); }

 private:
  std::shared_ptr<CSocket> mSocket;
};

// tcp:HOST:PORT
class JsonTcpInput : public JsonInput {
 public:
  JsonTcpInput(const Endpoint& endpoint, DecoderSource source, MessageRouter& router, LogSink log);
  void Tick(double now) override { mConnection.Tick(now); }
  std::string State() const override { return mConnection.State(); }

 private:
  bool mWasUp = true;  // for logging each change once
  ReconnectingSocket mConnection;
};
