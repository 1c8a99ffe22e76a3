#pragma once
// The scale a window is drawn at: its DPI (the monitor's where Windows keeps
// one for each monitor, the screen's otherwise), sizes given at 96 dpi
// scaled to it, and the system's message font made for it. GUI thread only.

#include <windows.h>

#include <string_view>

#include "win32/win32_handles.h"

// The window's DPI: GetDpiForWindow where the system has it (Windows 10
// 1607 and later), the screen's DPI otherwise.
int WindowDpi(HWND window);
// A size in pixels at 96 dpi, at `dpi`.
int Scaled(int pixelsAt96, int dpi);
// The system's message font (as dialogs and menus use it) for `dpi`; with
// `fixedPitch`, a fixed-pitch font of the same height, for tables that line
// up in columns. The caller owns the font.
UniqueGdiObject MessageFont(int dpi, bool fixedPitch = false);
// The outer size of a window of `style` (with a menu bar when `menu`) whose
// client area is `client`, at `dpi`.
SIZE WindowSizeFor(SIZE client, DWORD style, bool menu, int dpi);
// The width of `text` in pixels drawn on `dc` in its current font.
int TextWidth(HDC dc, std::u16string_view text);
