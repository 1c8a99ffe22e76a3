#pragma once
// Small readers of real window state for tests: status bar texts and parts,
// menu texts.

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "pipeline/single_byte_text.h"

inline std::string StatusText(HWND bar, int index) {
  const auto length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(index), 0));
  std::u16string text(length + 1u, u'\0');
  SendMessageW(bar, SB_GETTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(length);
  return ToSingleByte(text);
}

inline std::vector<int> StatusParts(HWND bar) {
  std::vector<int> edges(256);
  const auto n = SendMessageW(bar, SB_GETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
  edges.resize(static_cast<std::size_t>(n));
  return edges;
}

inline std::string MenuText(HMENU menu, UINT position) {
  char text[128] = {};
  GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
  return text;
}

// The visible message box of process `pid`, or null.
inline HWND FindMessageBox(DWORD pid) {
  struct Found {
    DWORD pid;
    HWND box = nullptr;
  } found{pid};
  EnumWindows(
      [](HWND w, LPARAM l) -> BOOL {
        auto* f = reinterpret_cast<Found*>(l);
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        char cls[32] = {};
        GetClassNameA(w, cls, sizeof cls);
        if (owner == f->pid && std::string(cls) == "#32770" && IsWindowVisible(w)) f->box = w;
        return f->box == nullptr;
      },
      reinterpret_cast<LPARAM>(&found));
  return found.box;
}

// The text of a message box.
inline std::string MessageBoxText(HWND box) {
  char text[512] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  return text;
}

// A plain top-level window of the test, with a procedure that counts what
// reaches it.
struct TestWindow {
  static inline int messagesSeen = 0;
  static inline UINT lastMessage = 0;
  HWND hwnd = nullptr;
  TestWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
      if (m == WM_COMMAND || m >= WM_USER) {
        ++messagesSeen;
        lastMessage = m;
      }
      return DefWindowProcW(h, m, w, l);
    };
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BridgeTestWindow";
    RegisterClassW(&wc);
    hwnd = CreateWindowExW(0, L"BridgeTestWindow", L"test", WS_OVERLAPPEDWINDOW, 0, 0, 400, 200, nullptr, nullptr,
                           wc.hInstance, nullptr);
    messagesSeen = 0;
  }
  ~TestWindow() { DestroyWindow(hwnd); }
};
