#pragma once
// One copy of the program per client port: the first copy on a port claims
// it with a named mutex and marks its window with the port; a second start
// on the same port finds that window, brings it to the front and ends.
// Copies on different ports run side by side.

#include <windows.h>

#include <cstdint>

#include "win32/win32_handles.h"

namespace single_copy {

// The mutex that claims `port` for this process; empty when another copy
// holds it already.
UniqueKernelHandle ClaimPort(std::int32_t port);

// Marks the main window as the one that serves `port`.
void MarkWindow(HWND window, std::int32_t port);

// The message a second start sends to the first copy's window: show
// yourself, in front.
UINT ShowMessage();

// Finds the window of the copy that serves `port`, waiting up to `waitMs`
// while that copy is still starting, and asks it to show itself. False when
// no such window answered.
bool ShowRunningCopy(std::int32_t port, DWORD waitMs);

}  // namespace single_copy
