#pragma once
// StatusPanels: the main window's status bar (`sbStatus`) and what its five
// panels show: the client connection, the latest registration and flight,
// the messages lost, and the errors, kept by their source (ErrorPanel).
// GUI thread only.

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "common/reporter.h"
#include "ui/error_panel.h"
#include "ui/status_bar.h"
#include "win32/win32_handles.h"

class StatusPanels {
 public:
  // Creates the bar in `window` with the panels' widths; panel 1 says the
  // server is not listening yet.
  void Create(HWND window);
  // The bar in `font` at `dpi`, each panel at least its width at that scale
  // and as wide as its text needs; the bar at the bottom of `window`. The
  // font stays the caller's and must outlive the bar's use of it.
  void Layout(HWND window, int dpi, HFONT font);
  // The window is going: the bar goes with it and nothing is shown again.
  void Destroyed() { sbStatus.reset(); }
  // The bar; it exists from Create until Destroyed.
  clsStatusBar& Bar() { return *sbStatus; }

  void Connection(const std::string& text);
  void Latest(const std::string& registration, const std::string& flight);
  void Dropped(std::uint64_t totalDropped);
  void Report(ReportKey key, const std::string& text);
  void Cleared(ReportKey key);

 private:
  void Show(int panel, const std::string& text);
  // The width a sized panel's text needs (0 before the first layout).
  std::int32_t Needed(std::size_t index) const;
  // Widens the panels whose texts need it and gives the bar the widths.
  void ApplyWidths();

  static constexpr std::size_t kSizedPanels = 4;  // the fifth takes the rest
  std::unique_ptr<clsStatusBar> sbStatus;
  std::array<std::string, kSizedPanels> mTexts;
  std::array<std::int32_t, kSizedPanels> mWidths{};  // pixels, at the window's scale (from Layout)
  int mDpi = 96;
  UniqueMemoryDc mMeasure;  // holds the bar's font, to measure texts
  ErrorPanel mErrors;
};
