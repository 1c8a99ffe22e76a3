// Every window at the scale it runs at (the screen's 96, 144 or 192 dpi:
// tests/ui/dpi_layout_test.sh sets Wine's LogPixels in a prefix of its own
// and says which in BRIDGE_EXPECTED_DPI): each control's text fits its
// control in the control's own font, no two controls overlap, the status
// bar's panels hold their texts, and WM_DPICHANGED lays the main window out
// at the new scale.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "settings/settings_file.h"
#include "support/program_fixture.h"
#include "support/temp_working_dir.h"
#include "ui/options_dialog.h"
#include "ui/options_ids.h"
#include "ui/status_panels.h"
#include "ui/window_dpi.h"
#include "win32/wide_text.h"

namespace {

const auto* const kWinsock = ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);

int ExpectedDpi() {
  const char* given = std::getenv("BRIDGE_EXPECTED_DPI");
  return given ? std::atoi(given) : WindowDpi(nullptr);
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

LONG FontHeight(HFONT font) {
  LOGFONTW f{};
  GetObjectW(font, sizeof f, &f);
  return f.lfHeight;
}

// The size `text` takes in `font`, wrapped at `width` (0: one line).
SIZE TextSize(HFONT font, const std::wstring& text, int width, UINT flags) {
  HDC dc = GetDC(nullptr);
  const HGDIOBJ previous = SelectObject(dc, font);
  RECT r{0, 0, width, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
            DT_CALCRECT | flags | (width > 0 ? DT_WORDBREAK : DT_SINGLELINE));
  SelectObject(dc, previous);
  ReleaseDC(nullptr, dc);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

RECT ClientRectIn(HWND control, HWND parent) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// What is wrong with the children of `window`: a text that does not fit its
// control, two controls that overlap (a group box holds others).
std::vector<std::string> LayoutFaults(HWND window) {
  std::vector<std::string> faults;
  std::vector<std::pair<HWND, RECT>> placed;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    char kind[32] = {};
    GetClassNameA(child, kind, sizeof kind);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    const std::wstring text = TextOf(child);
    const std::string name = std::string(kind) + " \"" + Utf8FromWide(text) + "\"";
    RECT client{};
    GetClientRect(child, &client);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
    const bool button = lstrcmpiA(kind, "Button") == 0;
    const LONG type = style & BS_TYPEMASK;
    const bool group = button && type == BS_GROUPBOX;
    if (!text.empty() && lstrcmpiA(kind, "Static") == 0 && (style & SS_ELLIPSISMASK) == 0) {
      const SIZE need = TextSize(font, text, client.right, (style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
      if (need.cx > client.right || need.cy > client.bottom) faults.push_back(name + " does not fit");
    } else if (!text.empty() && button) {
      const bool check = type == BS_AUTOCHECKBOX || type == BS_CHECKBOX;
      const int room = check ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : group ? 12 : 8;
      if (TextSize(font, text, 0, 0).cx + room > client.right) faults.push_back(name + " does not fit");
    }
    if (group) continue;
    const RECT here = ClientRectIn(child, window);
    for (const auto& [other, there] : placed) {
      RECT both{};
      if (IntersectRect(&both, &here, &there))
        faults.push_back(name + " overlaps \"" + Utf8FromWide(TextOf(other)) + "\"");
    }
    placed.emplace_back(child, here);
  }
  return faults;
}

// Each of the first `panels` parts of the bar lies within the bar and holds
// its text in the bar's font.
std::vector<std::string> PanelFaults(HWND bar, int panels) {
  std::vector<std::string> faults;
  const auto font = reinterpret_cast<HFONT>(SendMessageW(bar, WM_GETFONT, 0, 0));
  RECT inside{};
  GetClientRect(bar, &inside);
  for (int i = 0; i < panels; ++i) {
    RECT part{};
    SendMessageW(bar, SB_GETRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&part));
    const std::string text = StatusText(bar, i);
    if (part.left >= inside.right || part.right > inside.right)
      faults.push_back("panel " + std::to_string(i + 1) + " from " + std::to_string(part.left) + " to " +
                       std::to_string(part.right) + " beyond the bar's " + std::to_string(inside.right));
    else if (const LONG need = TextSize(font, Wide(text), 0, DT_NOPREFIX).cx + 4; need > part.right - part.left)
      faults.push_back("panel " + std::to_string(i + 1) + " \"" + text + "\" needs " + std::to_string(need) + " in " +
                       std::to_string(part.right - part.left));
  }
  return faults;
}

// The longest report a decoder puts in the fifth panel.
constexpr char kLongestDecoderReport[] = "Airmaster: texts arrive empty; restart the decoder program";

}  // namespace

TEST(DpiLayout, TheMainWindowAndItsPanelsAtTheScreensScaleAndAfterAMoveToAnother) {
  Program p;
  const int dpi = ExpectedDpi();
  const HWND window = p.form.hwnd();
  ASSERT_EQ(WindowDpi(window), dpi);
  const auto systemFont = MessageFont(dpi);
  EXPECT_EQ(FontHeight(reinterpret_cast<HFONT>(SendMessageW(p.form.dspMsg(), WM_GETFONT, 0, 0))),
            FontHeight(static_cast<HFONT>(systemFont.get())));
  EXPECT_EQ(LayoutFaults(window), std::vector<std::string>{});
  EXPECT_EQ(PanelFaults(p.form.StatusBar().hWnd(), 5), std::vector<std::string>{});
  p.form.StatusBar().PanelText(5, kLongestDecoderReport);
  EXPECT_EQ(PanelFaults(p.form.StatusBar().hWnd(), 5), std::vector<std::string>{});

  // The panels with the widest texts they show, in a window as wide as the
  // main window's client area.
  TestWindow host;
  RECT mainClient{};
  GetClientRect(window, &mainClient);
  const SIZE hostSize =
      WindowSizeFor(SIZE{mainClient.right, mainClient.bottom}, GetWindowLongW(host.hwnd, GWL_STYLE), false, dpi);
  SetWindowPos(host.hwnd, nullptr, 0, 0, hostSize.cx, hostSize.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  StatusPanels panels;
  panels.Create(host.hwnd);
  panels.Layout(host.hwnd, dpi, static_cast<HFONT>(systemFont.get()));
  panels.Connection("99 clients connected");
  panels.Latest(".N-ABCDE", "XY1234A");
  panels.Dropped(12345678);
  panels.Report({ReportKey::Kind::TextsEmpty, 1}, kLongestDecoderReport);
  EXPECT_EQ(PanelFaults(panels.Bar().hWnd(), 5), std::vector<std::string>{});

  // Moved to a monitor of another scale, as Windows tells it.
  for (const int next : {dpi >= 144 ? 96 : 144, dpi}) {
    SCOPED_TRACE(next);
    RECT now{};
    GetWindowRect(window, &now);
    const SIZE size =
        WindowSizeFor(SIZE{Scaled(720, next), Scaled(130, next)}, GetWindowLongW(window, GWL_STYLE), true, next);
    RECT suggested{now.left + 10, now.top + 10, now.left + 10 + size.cx, now.top + 10 + size.cy};
    SendMessageW(window, 0x02E0, MAKEWPARAM(next, next), reinterpret_cast<LPARAM>(&suggested));
    RECT client{}, moved{};
    GetClientRect(window, &client);
    GetWindowRect(window, &moved);
    EXPECT_EQ(moved.left, suggested.left);
    EXPECT_EQ(client.right, Scaled(720, next));
    EXPECT_EQ(client.bottom, Scaled(130, next));
    const RECT box = ClientRectIn(p.form.dspMsg(), window);
    EXPECT_EQ(box.left, MulDiv(120, next, 1440));
    EXPECT_EQ(box.right, client.right - MulDiv(90, next, 1440));
    const auto nextFont = MessageFont(next);
    EXPECT_EQ(FontHeight(reinterpret_cast<HFONT>(SendMessageW(p.form.StatusBar().hWnd(), WM_GETFONT, 0, 0))),
              FontHeight(static_cast<HFONT>(nextFont.get())));
    EXPECT_EQ(LayoutFaults(window), std::vector<std::string>{});
    EXPECT_EQ(PanelFaults(p.form.StatusBar().hWnd(), 5), std::vector<std::string>{});
  }
}

TEST(DpiLayout, TheStatisticsTableFitsItsWindow) {
  Program p;
  p.form.ShowStatistics();
  StatisticsWindow& view = *p.form.StatisticsView();
  ASSERT_EQ(WindowDpi(view.hwnd()), ExpectedDpi());
  RECT client{};
  GetClientRect(view.hwnd(), &client);
  for (const std::string& line : StatisticsTable(p.bridge.CurrentStatistics(), UnixSecondsNow())) {
    EXPECT_LE(TextSize(view.Font(), Wide(line), 0, DT_NOPREFIX).cx + 2 * Scaled(8, ExpectedDpi()), client.right)
        << line;
  }
}

class DpiLayoutOptions : public InTempWorkingDir {};

TEST_F(DpiLayoutOptions, EveryTextFitsAndNoControlsOverlap) {
  const std::string path = (dir_ / "TolvanDDE.ini").string();
  OptionsDialog dialog(GetModuleHandleW(nullptr), {path, ReadSettingsFile(path, false), {}, {"127.0.0.1"}});
  std::vector<std::string> faults{"(not seen)"};
  std::thread user([&] {
    HWND found = nullptr;
    if (!WaitWithoutPumping([&] { return (found = OptionsDialog::Open()) != nullptr; }, 5000)) return;
    faults = LayoutFaults(found);
    PostMessageW(found, WM_COMMAND, IDCANCEL, 0);
  });
  dialog.Show(nullptr);
  user.join();
  EXPECT_EQ(faults, std::vector<std::string>{});
}
