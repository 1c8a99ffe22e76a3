#pragma once
// MSocketSupport: the process-wide companion of every CSocket. It starts and
// stops Winsock, owns the hidden window "SOCKET_WINDOW" to which Winsock posts
// socket notifications and host-lookup results, and routes each one to its
// CSocket (PostSocketEvent, PostGetHostEvent).
// Single-threaded: all of it runs on the GUI thread. The registries hold plain
// pointers; a CSocket unregisters its socket and forgets its lookups before it
// goes away, and every dispatch holds a counted reference to its object.

#include <windows.h>
#include <winsock2.h>

#include <cstdint>
#include <memory>
#include <string>

#include "net/socket_error.h"

class CSocket;

namespace MSocketSupport {

// Starts Winsock 1.1 once per process; returns the largest datagram size.
// Raises SocketError with source "MSocketSupport.InitWinsockService".
std::int32_t InitWinsockService();
// Stops Winsock when no socket is registered any more.
void CleanupWinsockService();

// Registers `socket` for `object` and switches on its read, write, accept,
// connect and close notifications. False leaves PendingError() behind.
bool RegisterSocket(SOCKET socket, CSocket* object);
// Switches the notifications off and forgets the socket; the hidden window
// goes with the last registered socket.
bool UnregisterSocket(SOCKET socket);

// Starts an asynchronous lookup of `hostName` for `object`; returns the task
// handle, or 0 when none was started (PendingError() tells why).
HANDLE ResolveHost(const std::string& hostName, CSocket* object);
// A lookup whose object has gone is finished quietly, never delivered.
void ForgetObject(const CSocket* object);

// The error left by the last failed RegisterSocket or ResolveHost.
const SocketError& PendingError();

HWND WindowHandle();
UINT WinsockMessage();
UINT ResolveMessage();
// How often the service has been started in this process (diagnostics).
int ServiceStarts();
bool ServiceStarted();

// Dispatches one message of the hidden window, as its window procedure does.
LRESULT CALLBACK SocketWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Helpers.
std::int32_t LoWord(LPARAM value);
std::int32_t HiWord(LPARAM value);                   // unsigned 0..65535
std::int16_t UnsignedToInteger(std::int32_t value);  // raises 6 outside 0..65535
std::int32_t IntegerToUnsigned(std::int16_t value);
std::string StringFromPointer(const char* text);
std::shared_ptr<CSocket> ObjectFromPointer(CSocket* object);
// The registry key of a handle or an object: prefix and signed decimal value.
std::string Key(char prefix, std::intptr_t value);

}  // namespace MSocketSupport
