#include "net/socket_support.h"

#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "net/csocket.h"
#include "net/host_name.h"
#include "win32/win32_handles.h"

namespace MSocketSupport {
namespace {

constexpr long kNotificationMask = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;  // 59
constexpr int kLookupBufferSize = 1024;
// IPv4's largest UDP payload, for a socket layer that reports no limit.
constexpr std::int32_t kDefaultMaxDatagram = 65507;
// The hidden window's timer that checks the connections' progress.
constexpr UINT_PTR kPeerCheckTimer = 1;
constexpr UINT kPeerCheckMs = 1000;

// A started lookup: the object that asked (null once it has gone) and the
// buffer the socket layer writes the answer into, owned until it completes.
struct Lookup {
  CSocket* object = nullptr;
  UniqueGlobal buffer;
};

struct Module {
  bool started = false;
  int starts = 0;
  std::int32_t maxDatagram = 0;
  UINT winsockMessage = 0;
  UINT resolveMessage = 0;
  UniqueWindow window;
  WNDPROC previousProc = nullptr;
  std::map<std::string, CSocket*> sockets;  // "S" + socket handle
  std::map<std::string, Lookup> lookups;    // "R" + task handle
  std::map<std::string, HGLOBAL> buffers;   // "S" + object: its latest lookup's buffer
  SocketError pending;
};

Module& M() {
  static Module module;
  return module;
}

std::string ExecutableName() {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name(path, n);
  if (const auto slash = name.find_last_of("\\/"); slash != std::string::npos) name.erase(0, slash + 1);
  if (const auto dot = name.find_last_of('.'); dot != std::string::npos) name.erase(dot);
  return name;
}

HWND CreateSocketWindow() {
  Module& m = M();
  HWND window = CreateWindowExA(0, "STATIC", "SOCKET_WINDOW", 0, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  if (!window) return nullptr;
  m.window.reset(window);
  SetTimer(window, kPeerCheckTimer, kPeerCheckMs, nullptr);
  m.previousProc =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SocketWindowProc)));
  return window;
}

bool DestroySocketWindow() {
  Module& m = M();
  if (!m.window) return false;
  SetWindowLongPtrA(m.window.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m.previousProc));
  m.previousProc = nullptr;
  return m.window.reset();
}

// The window stays while a lookup is outstanding, or its answer would be lost.
bool DestroySocketWindowWhenIdle() {
  Module& m = M();
  if (!m.sockets.empty() || !m.lookups.empty()) return true;
  return DestroySocketWindow();
}

void FinishLookup(WPARAM task, LPARAM lParam) {
  Module& m = M();
  const std::string taskKey = Key('R', static_cast<std::intptr_t>(task));
  const auto it = m.lookups.find(taskKey);
  if (it == m.lookups.end()) return;
  CSocket* object = it->second.object;
  const HGLOBAL buffer = it->second.buffer.get();
  const std::int32_t error = HiWord(lParam);

  // The object is told first; only then are the lookup and its buffer
  // forgotten, however the object's handlers end: a lookup left behind would
  // keep the window and the service for good. A handler may have started
  // another lookup meanwhile.
  const auto forget = [&] {
    if (object) {
      const auto b = m.buffers.find(Key('S', reinterpret_cast<std::intptr_t>(object)));
      if (b != m.buffers.end() && b->second == buffer) m.buffers.erase(b);
    }
    m.lookups.erase(taskKey);
    DestroySocketWindowWhenIdle();
  };
  try {
    if (auto ref = object ? ObjectFromPointer(object) : nullptr) {
      const auto* entry = static_cast<const hostent*>(GlobalLock(buffer));
      if (error != 0 || !entry) {
        std::string noName;
        std::int32_t code = error;
        ref->PostGetHostEvent(nullptr, 0, noName, code);
      } else {
        std::uint32_t address = 0;
        if (entry->h_addr_list && entry->h_addr_list[0]) {
          std::memcpy(&address, entry->h_addr_list[0], sizeof address);
        }
        std::string name = StringFromPointer(entry->h_name);
        std::int32_t code = 0;
        ref->PostGetHostEvent(reinterpret_cast<HANDLE>(task), address, name, code);
      }
      GlobalUnlock(buffer);
    }
  } catch (...) {
    forget();
    throw;
  }
  forget();
}

// Asks the system once for the progress of every connection with bytes on
// their way, and lets each socket judge its own.
void CheckPeers() {
  std::vector<std::shared_ptr<CSocket>> waiting;
  for (const auto& [key, object] : M().sockets) {
    if (auto ref = ObjectFromPointer(object); ref && ref->AwaitsAcknowledgement()) waiting.push_back(std::move(ref));
  }
  if (waiting.empty()) return;
  const TcpProgressTable table = TcpProgressTable::Read();
  const double now = static_cast<double>(GetTickCount64()) / 1000.0;
  for (const auto& socket : waiting) {
    // One owner's failure leaves the others' checks to run.
    try {
      socket->CheckPeer(table, now);
    } catch (...) {
    }
  }
}

}  // namespace

std::int32_t InitWinsockService() {
  Module& m = M();
  if (m.started) return m.maxDatagram;
  WSADATA data{};
  if (const int code = WSAStartup(MAKEWORD(1, 1), &data); code != 0) {
    const char* text = code == WSAEINVAL            ? "The Windows Sockets version specified by the application is not "
                                                      "supported by this DLL."
                       : code == WSASYSNOTREADY     ? "The underlying network subsystem is not ready for network "
                                                      "communication."
                       : code == WSAVERNOTSUPPORTED ? "The version of Windows Sockets API support requested is not "
                                                      "provided by this particular Windows Sockets implementation."
                                                    : "";
    throw SocketError(code, "MSocketSupport.InitWinsockService", text);
  }
  m.started = true;
  ++m.starts;
  m.maxDatagram = IntegerToUnsigned(static_cast<std::int16_t>(data.iMaxUdpDg));
  if (m.maxDatagram == 0) m.maxDatagram = kDefaultMaxDatagram;
  if (m.resolveMessage == 0) {
    const std::string exe = ExecutableName();
    m.resolveMessage = RegisterWindowMessageA((exe + ".ResolveMessage").c_str());
    m.winsockMessage = RegisterWindowMessageA((exe + ".WinsockMessage").c_str());
  }
  return m.maxDatagram;
}

void CleanupWinsockService() {
  Module& m = M();
  if (!m.started || !m.sockets.empty() || !m.lookups.empty()) return;
  WSACleanup();
  m.started = false;
}

bool RegisterSocket(SOCKET socket, CSocket* object) {
  Module& m = M();
  if (!m.window && !CreateSocketWindow()) {
    m.pending = SocketError(WSAEINTR, "MSocketSupport.RegisterSocket", "The operation was canceled.");
    return false;
  }
  const std::string key = Key('S', static_cast<std::intptr_t>(socket));
  if (!m.sockets.emplace(key, object).second) return false;
  if (WSAAsyncSelect(socket, m.window.get(), m.winsockMessage, kNotificationMask) != SOCKET_ERROR) return true;
  m.pending = SocketError::FromCode(WSAGetLastError(), "MSocketSupport.RegisterSocket");
  // A socket that could not be registered is closed by its caller; keeping
  // its key would block the next socket that the system gives that handle.
  m.sockets.erase(key);
  DestroySocketWindowWhenIdle();
  return false;
}

bool UnregisterSocket(SOCKET socket) {
  Module& m = M();
  if (m.sockets.empty() || socket == INVALID_SOCKET) return false;
  WSAAsyncSelect(socket, m.window.get(), 0, 0);
  if (m.sockets.erase(Key('S', static_cast<std::intptr_t>(socket))) == 0) return false;
  if (!m.sockets.empty()) return true;
  return DestroySocketWindowWhenIdle();
}

HANDLE ResolveHost(const std::string& hostName, CSocket* object) {
  Module& m = M();
  UniqueGlobal buffer(GlobalAlloc(GMEM_FIXED, kLookupBufferSize));
  if (!buffer) return nullptr;
  void* address = GlobalLock(buffer.get());
  if (!address) return nullptr;
  GlobalUnlock(buffer.get());
  if (!m.window && !CreateSocketWindow()) {
    m.pending = SocketError(WSAEINTR, "MSocketSupport.ResolveHost", "The operation was canceled.");
    return nullptr;
  }

  const std::string objectKey = Key('S', reinterpret_cast<std::intptr_t>(object));
  m.buffers[objectKey] = buffer.get();
  const std::string name = HostNameForLookup(hostName);
  HANDLE task = WSAAsyncGetHostByName(m.window.get(), m.resolveMessage, name.c_str(), static_cast<char*>(address),
                                      kLookupBufferSize);
  if (task) {
    m.lookups[Key('R', reinterpret_cast<std::intptr_t>(task))] = Lookup{object, std::move(buffer)};
    return task;
  }
  const int error = WSAGetLastError();
  m.buffers.erase(objectKey);
  m.pending = SocketError::FromCode(error, "MSocketSupport.ResolveHost");
  return nullptr;
}

void ForgetObject(const CSocket* object) {
  Module& m = M();
  for (auto& [key, lookup] : m.lookups) {
    if (lookup.object == object) lookup.object = nullptr;
  }
  m.buffers.erase(Key('S', reinterpret_cast<std::intptr_t>(object)));
}

const SocketError& PendingError() {
  return M().pending;
}
HWND WindowHandle() {
  return M().window.get();
}
UINT WinsockMessage() {
  return M().winsockMessage;
}
UINT ResolveMessage() {
  return M().resolveMessage;
}
int ServiceStarts() {
  return M().starts;
}
bool ServiceStarted() {
  return M().started;
}

LRESULT CALLBACK SocketWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Module& m = M();
  // Nothing may escape into the system's dispatcher: a failure inside a
  // notification ends its handling, and the notification is dropped.
  try {
    if (message == m.winsockMessage && message != 0) {
      const auto it = m.sockets.find(Key('S', static_cast<std::intptr_t>(wParam)));
      if (it == m.sockets.end()) return 0;
      if (const auto ref = ObjectFromPointer(it->second)) ref->PostSocketEvent(LoWord(lParam), HiWord(lParam));
      return 0;
    }
    if (message == m.resolveMessage && message != 0) {
      FinishLookup(wParam, lParam);
      return 0;
    }
    if (message == WM_TIMER && wParam == kPeerCheckTimer) {
      CheckPeers();
      return 0;
    }
  } catch (...) {
    return 0;
  }
  return m.previousProc ? CallWindowProcA(m.previousProc, window, message, wParam, lParam)
                        : DefWindowProcA(window, message, wParam, lParam);
}

std::int32_t LoWord(LPARAM value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) & 0xFFFF);
}
std::int32_t HiWord(LPARAM value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) >> 16);
}

std::int16_t UnsignedToInteger(std::int32_t value) {
  if (value < 0 || value > 65535) throw SocketError(kErrOverflow, "MSocketSupport.UnsignedToInteger", "Overflow");
  return static_cast<std::int16_t>(value <= 32767 ? value : value - 65536);
}

std::int32_t IntegerToUnsigned(std::int16_t value) {
  return value >= 0 ? value : value + 65536;
}

std::string StringFromPointer(const char* text) {
  return text ? std::string(text) : std::string();
}

std::shared_ptr<CSocket> ObjectFromPointer(CSocket* object) {
  return object ? object->weak_from_this().lock() : nullptr;
}

std::string Key(char prefix, std::intptr_t value) {
  return prefix + std::to_string(value);
}

}  // namespace MSocketSupport
