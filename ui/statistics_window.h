#pragma once
// The statistics window: a table of every source's and client's counters
// and a graph of each source's messages per minute over the last hour,
// redrawn every second from a snapshot the main window supplies. Drawn with
// GDI. GUI thread only; the main window owns it, and it hides on close.

#include <windows.h>

#include <functional>

#include "stats/statistics.h"
#include "win32/win32_handles.h"

class StatisticsWindow {
 public:
  // `snapshot` is asked for the counters at every redraw.
  StatisticsWindow(HINSTANCE instance, HWND owner, std::function<Statistics()> snapshot);
  ~StatisticsWindow();
  StatisticsWindow(const StatisticsWindow&) = delete;
  StatisticsWindow& operator=(const StatisticsWindow&) = delete;

  // Shows it in front (creating it the first time).
  void Show();
  HWND hwnd() const { return mWindow.get(); }
  HFONT Font() const { return static_cast<HFONT>(mFont.get()); }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void Paint(HDC dc, const RECT& area);
  // The font made for `dpi`, and the window at least as wide as the table:
  // where `suggested` says, or where it is at its scale's default size.
  void Layout(int dpi, const RECT* suggested);

  HINSTANCE mInstance;
  HWND mOwner;
  std::function<Statistics()> mSnapshot;
  UniqueWindow mWindow;
  UniqueGdiObject mFont;  // fixed pitch, so that the table's columns line up
};
