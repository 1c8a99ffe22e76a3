#include "ui/window_dpi.h"

namespace {

// The functions of Windows 10 that older systems lack, looked up once.
struct DpiFunctions {
  using ForWindow = UINT(WINAPI*)(HWND);
  using ParametersForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
  using AdjustForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  ForWindow GetDpiForWindow = nullptr;
  ParametersForDpi SystemParametersInfoForDpi = nullptr;
  AdjustForDpi AdjustWindowRectExForDpi = nullptr;

  DpiFunctions() {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr) return;
    GetDpiForWindow = reinterpret_cast<ForWindow>(reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
    SystemParametersInfoForDpi = reinterpret_cast<ParametersForDpi>(
        reinterpret_cast<void*>(GetProcAddress(user32, "SystemParametersInfoForDpi")));
    AdjustWindowRectExForDpi =
        reinterpret_cast<AdjustForDpi>(reinterpret_cast<void*>(GetProcAddress(user32, "AdjustWindowRectExForDpi")));
  }
};

const DpiFunctions& Dpi() {
  static const DpiFunctions functions;
  return functions;
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

}  // namespace

int WindowDpi(HWND window) {
  if (window != nullptr && Dpi().GetDpiForWindow != nullptr) {
    if (const UINT dpi = Dpi().GetDpiForWindow(window); dpi > 0) return static_cast<int>(dpi);
  }
  return ScreenDpi();
}

int Scaled(int pixelsAt96, int dpi) {
  return MulDiv(pixelsAt96, dpi, 96);
}

UniqueGdiObject MessageFont(int dpi, bool fixedPitch) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTW font{};
  if (Dpi().SystemParametersInfoForDpi != nullptr &&
      Dpi().SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi))) {
    font = metrics.lfMessageFont;
  } else if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    // The system's font is for the screen's DPI.
    font = metrics.lfMessageFont;
    font.lfHeight = MulDiv(font.lfHeight, dpi, ScreenDpi());
  } else {
    font.lfHeight = -MulDiv(9, dpi, 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
  }
  if (fixedPitch) {
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpynW(font.lfFaceName, L"Courier New", LF_FACESIZE);
  }
  return UniqueGdiObject(CreateFontIndirectW(&font));
}

SIZE WindowSizeFor(SIZE client, DWORD style, bool menu, int dpi) {
  RECT r{0, 0, client.cx, client.cy};
  if (Dpi().AdjustWindowRectExForDpi == nullptr ||
      !Dpi().AdjustWindowRectExForDpi(&r, style, menu, 0, static_cast<UINT>(dpi))) {
    AdjustWindowRectEx(&r, style, menu, 0);
  }
  return SIZE{r.right - r.left, r.bottom - r.top};
}

int TextWidth(HDC dc, std::u16string_view text) {
  SIZE size{};
  GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()), &size);
  return size.cx;
}
