#pragma once
// clsStatusBar: a common-controls status window at the bottom of a parent
// window, with numbered panels (from 1), panel texts and a simple mode.
// GUI thread only. Owns its status window and destroys it with itself.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "win32/win32_handles.h"

class clsStatusBar {
 public:
  static constexpr int kControlId = 200;
  static constexpr DWORD kWindowStyle = 0x50000010;  // child, visible, low style bit

  clsStatusBar();

  void Create(HWND mParent);
  // Puts the bar at the bottom of the parent's client area, full width.
  void Resize(HWND mParent);

  // Simple-mode text; shown only while Style is non-zero.
  void SetText(const std::string& mText);
  const std::string& Text() const { return mTextValue; }
  void SetStyle(std::int32_t mStyle);
  std::int32_t Style() const { return mStyleValue; }
  // Adds panel mPanel with width mWidth (outside 0..255: -1, up to the
  // right edge; the caller's value is changed too). A panel number below the
  // current count sets the count without changing any edge.
  void PanelWidth(std::int32_t mPanel, std::int32_t& mWidth);
  // Sets every panel's width in pixels at once, any width (-1: up to the
  // right edge), as a new scale needs.
  void PanelWidths(const std::vector<std::int32_t>& widths);
  void PanelText(std::int32_t mPanel, const std::string& mText);
  void MinHeight(std::int32_t mHeight);
  std::uint8_t PanelCount() const;
  // The bar's height in twips.
  std::int32_t Height() const;

  HWND hWnd() const { return mWindow.get(); }
  const std::vector<std::int32_t>& RightEdges() const { return mRightEdges; }

  // Pixels to twips, rounded to the nearest whole number, ties to even.
  static std::int32_t PixelsToTwips(std::int32_t pixels, double twipsPerPixel);

 private:
  UniqueWindow mWindow;
  std::string mTextValue;
  std::int32_t mStyleValue = 0;
  std::vector<std::int32_t> mRightEdges{0};
  std::int32_t mLastEdge = 0;
};
