// min_win32: the smallest program of the bridge's kind, as a memory
// baseline for the benchmarks. It opens a window with an edit box and a
// status bar, starts Winsock and then only runs its message loop, for
// --seconds seconds (default 60) or until it is ended.
//
//   min_win32 [--seconds N]

#include <winsock2.h>

#include <windows.h>

#include <commctrl.h>

#include "command_line.h"

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  long seconds = 60;
  CommandLine args("min_win32", argc, argv);
  while (args.Next()) {
    if (args.Is("--seconds")) {
      seconds = args.Number();
    } else {
      args.Unknown();
    }
  }
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.lpszClassName = L"MinWin32";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, L"MinWin32", L"min_win32", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 600,
                                400, nullptr, nullptr, instance, nullptr);
  CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | WS_VSCROLL, 0, 0,
                  600, 340, window, nullptr, instance, nullptr);
  CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, window, nullptr,
                  instance, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  SetTimer(window, 1, static_cast<UINT>(seconds * 1000), nullptr);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  WSACleanup();
  return 0;
}
