#include "ui/status_bar.h"

#include <commctrl.h>

#include <cmath>

#include "pipeline/single_byte_text.h"
#include "ui/window_dpi.h"

namespace {
constexpr WPARAM kSimplePart = 255;
constexpr double kTwipsPerInch = 1440.0;

void SetPartText(HWND bar, WPARAM part, const std::string& text) {
  const std::u16string wide = ToUtf16(text);
  // Setting a part redraws the bar, which takes a millisecond or more under
  // Wine: a text that is already there is left alone (the timers set the
  // same texts several times a second).
  const auto length = static_cast<std::size_t>(LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, part, 0)));
  if (length == wide.size()) {
    std::u16string current(length, u'\0');
    SendMessageW(bar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(current.data()));
    if (current == wide) return;
  }
  SendMessageW(bar, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(wide.c_str()));
}
}  // namespace

clsStatusBar::clsStatusBar() {
  INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
  InitCommonControlsEx(&init);
}

void clsStatusBar::Create(HWND mParent) {
  mWindow.reset(CreateStatusWindowW(static_cast<LONG>(kWindowStyle), L"", mParent, kControlId));
}

void clsStatusBar::Resize(HWND mParent) {
  RECT bar{}, client{};
  GetWindowRect(mWindow.get(), &bar);
  GetClientRect(mParent, &client);
  const int h = bar.bottom - bar.top;
  MoveWindow(mWindow.get(), 0, client.bottom - h, client.right, h, TRUE);
}

void clsStatusBar::SetText(const std::string& mText) {
  SetPartText(mWindow.get(), kSimplePart, mText);
  mTextValue = mText;
}

void clsStatusBar::SetStyle(std::int32_t mStyle) {
  SendMessageW(mWindow.get(), SB_SIMPLE, static_cast<WPARAM>(mStyle), 0);
  mStyleValue = mStyle;
}

void clsStatusBar::PanelWidth(std::int32_t mPanel, std::int32_t& mWidth) {
  if (mWidth < 0 || mWidth > 255) mWidth = -1;
  const std::int32_t count = PanelCount();
  if (mPanel >= count && mPanel > 0) {
    mRightEdges.resize(static_cast<std::size_t>(mPanel), 0);
    if (mWidth == -1) mLastEdge = 0;
    mRightEdges[static_cast<std::size_t>(mPanel - 1)] = mLastEdge + mWidth;
    mLastEdge = mRightEdges[static_cast<std::size_t>(mPanel - 1)];
  }
  // The control copies as many edges as it is told parts; never more than
  // the array holds.
  const auto parts = std::min<std::size_t>(static_cast<std::size_t>(std::max(mPanel, 0)), mRightEdges.size());
  SendMessageW(mWindow.get(), SB_SETPARTS, parts, reinterpret_cast<LPARAM>(mRightEdges.data()));
}

void clsStatusBar::PanelWidths(const std::vector<std::int32_t>& widths) {
  mRightEdges.clear();
  mLastEdge = 0;
  for (const std::int32_t width : widths) {
    mRightEdges.push_back(width < 0 ? -1 : mLastEdge + width);
    mLastEdge = width < 0 ? 0 : mRightEdges.back();
  }
  SendMessageW(mWindow.get(), SB_SETPARTS, mRightEdges.size(), reinterpret_cast<LPARAM>(mRightEdges.data()));
}

void clsStatusBar::PanelText(std::int32_t mPanel, const std::string& mText) {
  SetPartText(mWindow.get(), static_cast<WPARAM>(mPanel - 1), mText);
}

void clsStatusBar::MinHeight(std::int32_t mHeight) {
  SendMessageW(mWindow.get(), SB_SETMINHEIGHT, static_cast<WPARAM>(mHeight), 0);
}

std::uint8_t clsStatusBar::PanelCount() const {
  int edge = 0;
  return static_cast<std::uint8_t>(SendMessageW(mWindow.get(), SB_GETPARTS, 1, reinterpret_cast<LPARAM>(&edge)));
}

std::int32_t clsStatusBar::Height() const {
  RECT r{};
  SendMessageW(mWindow.get(), SB_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
  return PixelsToTwips(r.bottom - r.top, kTwipsPerInch / WindowDpi(mWindow.get()));
}

std::int32_t clsStatusBar::PixelsToTwips(std::int32_t pixels, double twipsPerPixel) {
  return static_cast<std::int32_t>(std::nearbyint(pixels * twipsPerPixel));
}
