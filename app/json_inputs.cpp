#include "json_inputs.h"

#include <winsock2.h>

#include "acars_json.h"
#include "socket_error.h"

JsonInput::JsonInput(const Endpoint& endpoint, DecoderSource source, MessageRouter& router, LogSink log)
    : mEndpoint(endpoint),
      mSource(source),
      mRouter(router),
      mLog(std::move(log)),
      mInput(router.AddInput(endpoint.Text, source)) {}

void JsonInput::OnDataArrival(CSocket& socket, std::int32_t) {
  SocketValue data;
  socket.GetData(data, vbByteArray);
  const ByteArray bytes = ValueToBytes(data);
  mFramer.Feed(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  EndOfRead();
  Deliver();
}

void JsonInput::Deliver() {
  // Each object is handed to the router in the order it came; data that
  // arrives meanwhile goes into the framer and out of it in order.
  while (auto object = mFramer.Next()) {
    JsonMessage in = MessageFromJson(*object, mSource);
    if (!in.Message) {
      ++mSkipped;
      mRouter.CountSkipped(mInput);
      mLog("JSON in " + mEndpoint.Text,
           std::string("skipped, ") + JsonSkipText(in.Skip) + ": " + object->substr(0, 200));
      continue;
    }
    ++mTaken;
    mRouter.SubmitParsed(std::move(*in.Message), mInput);
  }
}

// ---- udp:[ADDRESS:]PORT ----

JsonUdpInput::JsonUdpInput(const Endpoint& endpoint, DecoderSource source, MessageRouter& router, LogSink log)
    : JsonInput(endpoint, source, router, std::move(log)) {
  mSocket = CSocket::Create(this);
  mSocket->SetProtocol(CSocket::ProtocolUdp);
  mSocket->Bind(mEndpoint.Port, mEndpoint.Host.empty() ? "0.0.0.0" : mEndpoint.Host);
  // Room for a burst of datagrams while the program is busy elsewhere (the
  // system may grant less).
  const int size = 1 << 20;
  setsockopt(static_cast<SOCKET>(mSocket->SocketHandle()), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size),
             sizeof size);
}

JsonUdpInput::~JsonUdpInput() {
  mSocket->SetOwner(nullptr);
  mSocket->CloseSocket();
}

// ---- tcp:HOST:PORT ----

JsonTcpInput::JsonTcpInput(const Endpoint& endpoint, DecoderSource source, MessageRouter& router, LogSink log)
    : JsonInput(endpoint, source, router, std::move(log)),
      mConnection(endpoint.Host, endpoint.Port,
                  {[this](CSocket&) {
                     mWasUp = true;
                     mLog("JSON in " + mEndpoint.Text, "connected");
                   },
                   [this](CSocket& socket) { OnDataArrival(socket, 0); },
                   [this](const std::string& why) {
                     mFramer.EndOfDatagram();  // a piece of an object is no object
                     if (mWasUp) mLog("JSON in " + mEndpoint.Text, "not connected: " + why);
                     mWasUp = false;
                   }}) {}
