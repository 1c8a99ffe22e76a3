#pragma once
// StatusPanels: the main window's status bar (`sbStatus`) and what its five
// panels show: the client connection, the latest registration and flight,
// the messages lost, and the errors, kept by their source (ErrorPanel).
// GUI thread only.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "common/reporter.h"
#include "ui/error_panel.h"
#include "ui/status_bar.h"

class StatusPanels {
 public:
  // Creates the bar in `window` with the panels' widths; panel 1 says the
  // server is not listening yet.
  void Create(HWND window);
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

  std::unique_ptr<clsStatusBar> sbStatus;
  ErrorPanel mErrors;
};
