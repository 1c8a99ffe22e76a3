#include "ui/statistics_window.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "router/message_router.h"
#include "ui/app_ids.h"
#include "ui/window_dpi.h"
#include "win32/wide_text.h"

namespace {

constexpr const wchar_t* kClass = L"TolvanDdeStatistics";
constexpr const wchar_t* kTitle = L"TOLVAN DDE Server - Statistics";
constexpr UINT_PTR kRedrawTimerId = 1;
// Sizes at 96 dpi.
constexpr int kWidth = 680;
constexpr int kHeight = 520;
constexpr int kMargin = 8;
constexpr int kScaleWidth = 40;  // left of the graph: its scale
constexpr int kLineWidth = 2;
// The character that Ctrl+C types.
constexpr WPARAM kCtrlC = 0x03;
// One colour for each source's line in the graph.
constexpr COLORREF kLineColours[] = {RGB(0, 90, 200),  RGB(200, 60, 0),  RGB(0, 140, 60), RGB(150, 0, 150),
                                     RGB(120, 100, 0), RGB(0, 130, 140), RGB(90, 90, 90), RGB(220, 0, 90)};

void Text(HDC dc, int x, int y, const std::string& text) {
  TextOutA(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

// Puts `text` on the clipboard as Unicode text; once the clipboard took the
// memory, it is the clipboard's.
bool CopyToClipboard(HWND owner, const std::wstring& text) {
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
  if (!memory) return false;
  void* locked = GlobalLock(memory.get());
  if (locked == nullptr) return false;
  std::memcpy(locked, text.c_str(), bytes);
  GlobalUnlock(memory.get());
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  const bool taken = SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr;
  CloseClipboard();
  if (taken) memory.release();
  return taken;
}

}  // namespace

StatisticsWindow::StatisticsWindow(HINSTANCE instance, HWND owner, std::function<Statistics()> snapshot)
    : mInstance(instance), mOwner(owner), mSnapshot(std::move(snapshot)) {}

StatisticsWindow::~StatisticsWindow() {
  if (mWindow) {
    KillTimer(mWindow.get(), kRedrawTimerId);
    SetWindowLongPtrW(mWindow.get(), GWLP_USERDATA, 0);
  }
}

void StatisticsWindow::Show() {
  if (!mWindow) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &StatisticsWindow::WindowProc;
    wc.hInstance = mInstance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = nullptr;                                  // painted whole, through a bitmap
    wc.lpszClassName = kClass;
    RegisterClassExW(&wc);
    const int dpi = WindowDpi(mOwner);
    mWindow.reset(CreateWindowExW(0, kClass, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  Scaled(kWidth, dpi), Scaled(kHeight, dpi), mOwner, nullptr, mInstance, this));
    if (!mWindow) return;
    Layout(WindowDpi(mWindow.get()), nullptr);
    SetTimer(mWindow.get(), kRedrawTimerId, 1000, nullptr);
  }
  ShowWindow(mWindow.get(), SW_SHOWNORMAL);
  SetForegroundWindow(mWindow.get());
  InvalidateRect(mWindow.get(), nullptr, FALSE);
}

void StatisticsWindow::Layout(int dpi, const RECT* suggested) {
  mFont = MessageFont(dpi, true);
  // Wide enough for the table's longest line, in the new font.
  std::size_t longest = 0;
  for (const std::string& line : StatisticsTable(mSnapshot(), UnixSecondsNow()))
    longest = std::max(longest, line.size());
  HDC dc = GetDC(mWindow.get());
  const HGDIOBJ previous = SelectObject(dc, mFont.get());
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, previous);
  ReleaseDC(mWindow.get(), dc);
  const int tableWidth = static_cast<int>(longest) * metrics.tmAveCharWidth + 2 * Scaled(kMargin, dpi);
  const SIZE least = WindowSizeFor(SIZE{tableWidth, 0}, WS_OVERLAPPEDWINDOW, false, dpi);
  RECT r = suggested ? *suggested : RECT{0, 0, Scaled(kWidth, dpi), Scaled(kHeight, dpi)};
  r.right = std::max<LONG>(r.right, r.left + least.cx);
  SetWindowPos(mWindow.get(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
               SWP_NOZORDER | SWP_NOACTIVATE | (suggested ? 0 : SWP_NOMOVE));
  InvalidateRect(mWindow.get(), nullptr, FALSE);
}

void StatisticsWindow::Paint(HDC dc, const RECT& area) {
  const Statistics stats = mSnapshot();
  const double now = UnixSecondsNow();
  const int dpi = WindowDpi(mWindow.get());
  const int margin = Scaled(kMargin, dpi);
  // The system's colours, so that a high-contrast scheme holds here too;
  // only the sources' lines keep colours of their own.
  FillRect(dc, &area, GetSysColorBrush(COLOR_WINDOW));
  SelectObject(dc, mFont.get());
  SelectObject(dc, GetSysColorBrush(COLOR_WINDOW));
  SetBkMode(dc, TRANSPARENT);
  const COLORREF textColour = GetSysColor(COLOR_WINDOWTEXT);
  SetTextColor(dc, textColour);
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  const int lineHeight = metrics.tmHeight + Scaled(2, dpi);

  int y = margin;
  for (const std::string& line : StatisticsTable(stats, now)) {
    Text(dc, margin, y, line);
    y += lineHeight;
  }

  // The graph: messages per minute of each source, the last hour.
  y += lineHeight;
  Text(dc, margin, y, "Messages per minute, last hour");
  y += lineHeight;
  const RECT plot{margin + Scaled(kScaleWidth, dpi), y, area.right - margin, area.bottom - margin - 2 * lineHeight};
  if (plot.bottom - plot.top < Scaled(40, dpi) || plot.right - plot.left < Scaled(120, dpi)) return;
  std::uint32_t highest = 1;
  for (const auto& source : stats.Sources) {
    highest = std::max(highest, *std::max_element(source.PerMinute.begin(), source.PerMinute.end()));
  }
  UniqueGdiObject frame(CreatePen(PS_SOLID, 1, textColour));
  const HGDIOBJ framePrevious = SelectObject(dc, frame.get());
  Rectangle(dc, plot.left, plot.top, plot.right, plot.bottom);
  SelectObject(dc, framePrevious);
  Text(dc, margin, plot.top, std::to_string(highest));
  Text(dc, margin, plot.bottom - lineHeight, "0");
  Text(dc, plot.left, plot.bottom + 2, "-60 min");
  Text(dc, plot.right - 3 * metrics.tmAveCharWidth, plot.bottom + 2, "now");

  const int width = plot.right - plot.left - 2;
  const int height = plot.bottom - plot.top - 2;
  int legendX = plot.left + 10 * metrics.tmAveCharWidth;
  for (std::size_t i = 0; i < stats.Sources.size(); ++i) {
    const COLORREF colour = kLineColours[i % std::size(kLineColours)];
    UniqueGdiObject pen(CreatePen(PS_SOLID, Scaled(kLineWidth, dpi), colour));
    const HGDIOBJ previous = SelectObject(dc, pen.get());
    POINT points[MinuteCounts::kMinutes];
    for (int m = 0; m < MinuteCounts::kMinutes; ++m) {
      points[m].x = plot.left + 1 + width * m / (MinuteCounts::kMinutes - 1);
      points[m].y = plot.bottom - 1 -
                    static_cast<int>(static_cast<long long>(height) *
                                     stats.Sources[i].PerMinute[static_cast<std::size_t>(m)] / highest);
    }
    Polyline(dc, points, MinuteCounts::kMinutes);
    SelectObject(dc, previous);
    SetTextColor(dc, colour);
    Text(dc, legendX, plot.bottom + lineHeight + 2, stats.Sources[i].Name);
    legendX += (static_cast<int>(stats.Sources[i].Name.size()) + 2) * metrics.tmAveCharWidth;
  }
  SetTextColor(dc, textColour);
}

LRESULT CALLBACK StatisticsWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<StatisticsWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<StatisticsWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  switch (message) {
    case WM_TIMER:
      if (wParam == kRedrawTimerId && IsWindowVisible(hwnd)) InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_CHAR:
      if (wParam == VK_ESCAPE) {
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
      } else if (wParam == kCtrlC) {
        // The table as tab-separated text, to paste into a post.
        CopyToClipboard(hwnd, Wide(StatisticsTabSeparated(self->mSnapshot(), UnixSecondsNow())));
      }
      return 0;
    case app::kDpiChangedMessage: {
      self->Layout(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    }
    case WM_CLOSE:
      ShowWindow(hwnd, SW_HIDE);  // kept for the next time
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT area;
      GetClientRect(hwnd, &area);
      // Drawn into a bitmap first, so that the redraw every second does not
      // flicker.
      UniqueMemoryDc memory(CreateCompatibleDC(dc));
      UniqueGdiObject bitmap(CreateCompatibleBitmap(dc, area.right, area.bottom));
      const HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
      try {
        self->Paint(memory.get(), area);
      } catch (...) {
        // A snapshot that fails leaves the window blank for this second.
      }
      BitBlt(dc, 0, 0, area.right, area.bottom, memory.get(), 0, 0, SRCCOPY);
      SelectObject(memory.get(), previous);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->mWindow.release();
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}
