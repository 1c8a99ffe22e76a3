#include "ui/status_panels.h"

#include "outputs/client_port_server.h"
#include "ui/app_ids.h"

using namespace app;

void StatusPanels::Create(HWND window) {
  sbStatus = std::make_unique<clsStatusBar>();
  sbStatus->Create(window);
  sbStatus->SetStyle(0);
  for (int panel = 1; const std::int32_t width : {100, 50, 150, 50, -1}) {
    std::int32_t w = width;
    sbStatus->PanelWidth(panel++, w);
  }
  Show(kPanelConnection, kServerDisabled);
}

void StatusPanels::Show(int panel, const std::string& text) {
  if (sbStatus) sbStatus->PanelText(panel, text);
}

void StatusPanels::Connection(const std::string& text) {
  Show(kPanelConnection, text);
}

void StatusPanels::Latest(const std::string& registration, const std::string& flight) {
  Show(kPanelRegistration, registration);
  Show(kPanelFlight, flight);
}

void StatusPanels::Dropped(std::uint64_t totalDropped) {
  Show(kPanelDrops, "Dropped " + std::to_string(totalDropped));
}

void StatusPanels::Report(ReportKey key, const std::string& text) {
  if (!sbStatus) return;
  mErrors.Report(key, text);
  Show(kPanelErrors, mErrors.Shown());
}

void StatusPanels::Cleared(ReportKey key) {
  if (mErrors.Clear(key)) Show(kPanelErrors, mErrors.Shown());
}
