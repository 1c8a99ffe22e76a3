#include "inputs/json_inputs.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <stdexcept>
#include <utility>

#include "common/flag_scope.h"
#include "net/host_lookup.h"
#include "net/peer_watch.h"
#include "net/socket_error.h"
#include "outputs/reconnect_policy.h"
#include "outputs/reconnecting_socket.h"
#include "pipeline/acars_json.h"

namespace {

// The input's window is told that objects wait in the inbox.
constexpr UINT kObjectsWaiting = WM_APP + 1;
constexpr const wchar_t* kWakeClass = L"TolvanJsonInputWake";
// Large enough for any datagram, and a good piece of a stream.
constexpr int kReadSize = 65536;
// Room for a burst of datagrams while the reader thread waits for the CPU
// (the system may grant less).
constexpr int kUdpReceiveBuffer = 1 << 20;

std::string Describe(int error) {
  return std::to_string(error) + " " + GetErrorDescription(error);
}

void RegisterWakeClass(WNDPROC proc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kWakeClass;
  RegisterClassExW(&wc);  // the second input finds it registered
}

bool Signalled(HANDLE event) {
  return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// Waits for the socket's event or the stop event; true for the socket's.
bool WaitForSocket(HANDLE stop, HANDLE ready) {
  const HANDLE events[] = {stop, ready};
  return WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
}

}  // namespace

// ---- the input and its reader thread ----

JsonInput::JsonInput(const Endpoint& endpoint, DecoderSource source, MessageRouter& router, LogSink log,
                     BoundedQueue::Limits limits)
    : mEndpoint(endpoint),
      mSource(source),
      mRouter(router),
      mLog(std::move(log)),
      mInput(router.AddInput(endpoint.Text, source)),
      mInbox(limits),
      mStop(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  RegisterWakeClass(&WakeProc);
  mWake.reset(
      CreateWindowExW(0, kWakeClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr));
  if (!mWake || !mStop) throw std::runtime_error("JSON input " + endpoint.Text + ": no window or event for its reader");
  SetWindowLongPtrW(mWake.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

JsonInput::~JsonInput() {
  StopReader();
  SetWindowLongPtrW(mWake.get(), GWLP_USERDATA, 0);
}

void JsonInput::StartReader(std::function<void()> read) {
  mReader = std::thread([this, read = std::move(read)] {
    // Nothing may end the program from here: a failure ends this input's
    // reading, and says so in the log.
    try {
      read();
    } catch (const std::exception& e) {
      Note(std::string("stopped reading: ") + e.what());
    } catch (...) {
      Note("stopped reading");
    }
  });
}

void JsonInput::StopReader() {
  if (!mReader.joinable()) return;
  SetEvent(mStop.get());
  mReader.join();
}

void JsonInput::Finish() {
  StopReader();
  Deliver();
}

void JsonInput::Received(std::string_view bytes) {
  mFramer.Feed(bytes);
  HandOver();
}

void JsonInput::EndOfDatagram() {
  mFramer.EndOfDatagram();
  HandOver();
}

void JsonInput::HandOver() {
  while (auto object = mFramer.Next()) Wake(mInbox.Put(std::move(*object)));
  mFramerSkipped = mFramer.Skipped();
}

void JsonInput::Note(std::string text) {
  Wake(mInbox.Note(std::move(text)));
}

void JsonInput::Wake(bool needed) {
  // A wake that cannot be posted (the queue of the router's thread is full)
  // is asked for again by the next entry, and the tick takes what waits.
  if (needed && !PostMessageW(mWake.get(), kObjectsWaiting, 0, 0)) mInbox.WakeFailed();
}

LRESULT CALLBACK JsonInput::WakeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kObjectsWaiting) return DefWindowProcW(window, message, wParam, lParam);
  if (auto* input = reinterpret_cast<JsonInput*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
    // Nothing may escape into the system's dispatcher.
    try {
      input->Deliver();
    } catch (...) {
    }
  }
  return 0;
}

void JsonInput::Deliver() {
  // Each object goes to the router in the order it came. Should the router
  // let this thread's messages run meanwhile, a nested call takes nothing:
  // what came is taken after this batch, in order.
  if (mDelivering) return;
  const FlagScope delivering(mDelivering);
  const JsonInbox::Batch batch = mInbox.Take();
  for (const std::string& note : batch.Notes) mLog("JSON in " + mEndpoint.Text, note);
  for (const std::string& object : batch.Objects) {
    mRouter.ObjectReceived(object, mInput);
    JsonMessage in = MessageFromJson(object, mSource);
    if (!in.Message) {
      ++mSkipped;
      mRouter.CountSkipped(mInput);
      mLog("JSON in " + mEndpoint.Text,
           std::string("skipped, ") + JsonSkipText(in.Skip) + ": " + object.substr(0, 200));
      continue;
    }
    ++mTaken;
    mRouter.SubmitParsed(std::move(*in.Message), mInput);
  }
}

// ---- udp:[ADDRESS:]PORT ----

JsonUdpInput::JsonUdpInput(const Endpoint& endpoint, DecoderSource source, MessageRouter& router, LogSink log,
                           BoundedQueue::Limits limits)
    : JsonInput(endpoint, source, router, std::move(log), limits), mSocket(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
  if (!mSocket) throw SocketError::FromCode(WSAGetLastError(), "JsonUdpInput.Bind");
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<u_short>(mEndpoint.Port));
  sa.sin_addr.s_addr = mEndpoint.Host.empty() ? INADDR_ANY : inet_addr(mEndpoint.Host.c_str());
  if (sa.sin_addr.s_addr == INADDR_NONE) throw SocketError::FromCode(WSAEADDRNOTAVAIL, "JsonUdpInput.Bind");
  if (bind(mSocket.get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == SOCKET_ERROR) {
    throw SocketError::FromCode(WSAGetLastError(), "JsonUdpInput.Bind");
  }
  const int size = kUdpReceiveBuffer;
  setsockopt(mSocket.get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
  StartReader([this] { Read(); });
}

JsonUdpInput::~JsonUdpInput() {
  StopReader();
}

void JsonUdpInput::Read() {
  // The thread waits on the socket and the stop event at once, so stopping
  // never depends on a close waking a receive that blocks.
  UniqueKernelHandle ready(WSACreateEvent());
  if (!ready || WSAEventSelect(mSocket.get(), ready.get(), FD_READ) == SOCKET_ERROR) {
    Note("cannot wait for datagrams: " + Describe(WSAGetLastError()));
    return;
  }
  std::string buffer(kReadSize, '\0');
  while (WaitForSocket(StopEvent(), ready.get())) {
    WSANETWORKEVENTS happened{};
    WSAEnumNetworkEvents(mSocket.get(), ready.get(), &happened);
    // Every datagram that waits, one at a time, before waiting again; a
    // sender that never pauses must not keep the thread from stopping.
    while (!Signalled(StopEvent())) {
      const int n = recv(mSocket.get(), buffer.data(), kReadSize, 0);
      if (n == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        // A report of an unreachable port or an oversize datagram concerns
        // that datagram alone.
        if (error == WSAECONNRESET || error == WSAEMSGSIZE) continue;
        break;
      }
      Received(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
      EndOfDatagram();
    }
  }
}

// ---- tcp:HOST:PORT ----

JsonTcpInput::JsonTcpInput(const Endpoint& endpoint, DecoderSource source, MessageRouter& router, LogSink log,
                           BoundedQueue::Limits limits)
    : JsonInput(endpoint, source, router, std::move(log), limits) {
  StartReader([this] { Read(); });
}

JsonTcpInput::~JsonTcpInput() {
  StopReader();
}

std::string JsonTcpInput::State() const {
  const std::lock_guard lock(mStateMutex);
  switch (mPhase) {
    case Phase::Connected:
      return "connected";
    case Phase::Connecting:
      return "connecting";
    case Phase::Retrying:
      break;
  }
  return RetryingState(mRetryAt, mError);
}

void JsonTcpInput::Read() {
  ReconnectPolicy policy;
  bool wasUp = true;  // for logging each change once
  for (;;) {
    {
      const std::lock_guard lock(mStateMutex);
      mPhase = Phase::Connecting;
    }
    UniqueKernelHandle ready(WSACreateEvent());
    std::string why;
    UniqueSocket s = ready ? Connect(ready.get(), why) : UniqueSocket();
    if (!ready) why = Describe(WSAGetLastError());
    if (Signalled(StopEvent())) return;
    if (s) {
      policy.Connected(UnixSecondsNow());
      {
        const std::lock_guard lock(mStateMutex);
        mPhase = Phase::Connected;
        mError.clear();
      }
      wasUp = true;
      Note("connected");
      const std::optional<std::string> ended = ReadConnection(s.get(), ready.get());
      if (!ended) return;
      why = *ended;
    }
    EndOfDatagram();  // a piece of an object is no object
    s.reset();
    const double retryAt = policy.Failed(UnixSecondsNow());
    {
      const std::lock_guard lock(mStateMutex);
      mPhase = Phase::Retrying;
      mRetryAt = retryAt;
      mError = why;
    }
    if (wasUp) Note("not connected: " + why);
    wasUp = false;
    const double wait = retryAt - UnixSecondsNow();
    if (WaitForSingleObject(StopEvent(), wait > 0 ? static_cast<DWORD>(wait * 1000) : 0) == WAIT_OBJECT_0) return;
  }
}

UniqueSocket JsonTcpInput::Connect(HANDLE ready, std::string& why) {
  // The name is looked up again at every attempt; stopping does not wait
  // for the name service.
  const std::optional<HostAddress> found = LookUpHost(mEndpoint.Host, mEndpoint.Port, StopEvent());
  if (!found) return {};
  if (found->Error != 0) {
    why = Describe(found->Error);
    return {};
  }
  const sockaddr_in address = found->Address;

  UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!s || WSAEventSelect(s.get(), ready, FD_CONNECT | FD_READ | FD_CLOSE) == SOCKET_ERROR) {
    why = Describe(WSAGetLastError());
    return {};
  }
  if (connect(s.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    why = Describe(WSAGetLastError());
    return {};
  }
  while (WaitForSocket(StopEvent(), ready)) {
    WSANETWORKEVENTS happened{};
    if (WSAEnumNetworkEvents(s.get(), ready, &happened) == SOCKET_ERROR) {
      why = Describe(WSAGetLastError());
      return {};
    }
    if (!(happened.lNetworkEvents & FD_CONNECT)) continue;
    if (const int error = happened.iErrorCode[FD_CONNECT_BIT]; error != 0) {
      why = Describe(error);
      return {};
    }
    WatchForVanishedPeer(s.get());
    return s;
  }
  return {};
}

std::optional<std::string> JsonTcpInput::ReadConnection(SOCKET s, HANDLE ready) {
  std::string buffer(kReadSize, '\0');
  for (;;) {
    // What is there first: data may have come with the connection itself,
    // and the next notification comes only after a receive. A server that
    // never pauses must not keep the thread from stopping.
    while (!Signalled(StopEvent())) {
      const int n = recv(s, buffer.data(), kReadSize, 0);
      if (n == 0) return "closed by the other side";
      if (n == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) break;
        return Describe(error);
      }
      Received(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
    if (!WaitForSocket(StopEvent(), ready)) return std::nullopt;
    WSANETWORKEVENTS happened{};
    WSAEnumNetworkEvents(s, ready, &happened);
  }
}
