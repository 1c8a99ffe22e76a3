#include "ui/status_panels.h"

#include <algorithm>

#include "outputs/client_port_server.h"
#include "pipeline/single_byte_text.h"
#include "ui/app_ids.h"
#include "ui/window_dpi.h"

using namespace app;

namespace {

// Each sized panel's width at 96 dpi (the connection, the registration, the
// flight, the dropped count), and the room a text needs beside itself within
// its panel (the panel's borders and margins). The main window is wide
// enough for these and for the fifth panel's reports beside them.
constexpr std::int32_t kPanelWidths[] = {100, 60, 60, 70};
constexpr int kTextRoom = 8;

}  // namespace

void StatusPanels::Create(HWND window) {
  sbStatus = std::make_unique<clsStatusBar>();
  sbStatus->Create(window);
  sbStatus->SetStyle(0);
  int panel = 1;
  for (std::int32_t width : kPanelWidths) sbStatus->PanelWidth(panel++, width);
  std::int32_t rest = -1;
  sbStatus->PanelWidth(panel, rest);
  Show(kPanelConnection, kServerDisabled);
}

void StatusPanels::Layout(HWND window, int dpi, HFONT font) {
  if (!sbStatus) return;
  mDpi = dpi;
  SendMessageW(sbStatus->hWnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  if (!mMeasure) mMeasure.reset(CreateCompatibleDC(nullptr));
  SelectObject(mMeasure.get(), font);
  for (std::size_t i = 0; i < kSizedPanels; ++i) mWidths[i] = Scaled(kPanelWidths[i], dpi);
  ApplyWidths();
  // The bar takes the height of its new font as it is sized.
  SendMessageW(sbStatus->hWnd(), WM_SIZE, 0, 0);
  sbStatus->Resize(window);
}

std::int32_t StatusPanels::Needed(std::size_t index) const {
  if (mTexts[index].empty() || !mMeasure) return 0;
  return TextWidth(mMeasure.get(), ToUtf16(mTexts[index])) + Scaled(kTextRoom, mDpi);
}

void StatusPanels::ApplyWidths() {
  std::vector<std::int32_t> widths;
  for (std::size_t i = 0; i < kSizedPanels; ++i) {
    mWidths[i] = std::max(mWidths[i], Needed(i));
    widths.push_back(mWidths[i]);
  }
  widths.push_back(-1);
  sbStatus->PanelWidths(widths);
}

void StatusPanels::Show(int panel, const std::string& text) {
  if (!sbStatus) return;
  const auto index = static_cast<std::size_t>(panel - 1);
  if (index < kSizedPanels && mTexts[index] != text) {
    mTexts[index] = text;
    // Panels widen for a text that needs it and never narrow meanwhile, so
    // that they do not jump with every message.
    if (Needed(index) > mWidths[index]) ApplyWidths();
  }
  sbStatus->PanelText(panel, text);
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
