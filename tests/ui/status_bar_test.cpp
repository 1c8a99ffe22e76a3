#include "ui/status_bar.h"

#include <gtest/gtest.h>

#include "support/windows_test_util.h"

TEST(clsStatusBar, PanelEdgesFollowTheWidths) {
  TestWindow parent;
  clsStatusBar bar;
  bar.Create(parent.hwnd);
  ASSERT_NE(bar.hWnd(), nullptr);
  EXPECT_EQ(GetDlgCtrlID(bar.hWnd()), 200);
  EXPECT_EQ(bar.PanelCount(), 1);

  for (int panel = 1; const int width : {100, 50, 150, 50, -1}) {
    std::int32_t w = width;
    bar.PanelWidth(panel++, w);
  }
  EXPECT_EQ(bar.RightEdges(), (std::vector<std::int32_t>{100, 150, 300, 350, -1}));
  EXPECT_EQ(StatusParts(bar.hWnd()), (std::vector<int>{100, 150, 300, 350, -1}));
  EXPECT_EQ(bar.PanelCount(), 5);

  // A panel number below the count: no edge changes, the count drops.
  std::int32_t w = 70;
  bar.PanelWidth(2, w);
  EXPECT_EQ(bar.PanelCount(), 2);
  EXPECT_EQ(StatusParts(bar.hWnd()), (std::vector<int>{100, 150}));
}

TEST(clsStatusBar, WidthOutsideAByteReachesTheRightEdge) {
  TestWindow parent;
  clsStatusBar bar;
  bar.Create(parent.hwnd);
  std::int32_t w = 100;
  bar.PanelWidth(1, w);
  w = 300;
  bar.PanelWidth(2, w);
  EXPECT_EQ(w, -1);  // the caller's value changes too
  EXPECT_EQ(bar.RightEdges(), (std::vector<std::int32_t>{100, -1}));
  w = 40;  // the last edge is now -1, and the next panel counts from it
  bar.PanelWidth(3, w);
  EXPECT_EQ(bar.RightEdges(), (std::vector<std::int32_t>{100, -1, 39}));
}

TEST(clsStatusBar, TextsGoToTheirPanels) {
  TestWindow parent;
  clsStatusBar bar;
  bar.Create(parent.hwnd);
  for (int panel = 1; const int width : {100, 50, 150}) {
    std::int32_t w = width;
    bar.PanelWidth(panel++, w);
  }
  bar.PanelText(1, "Waiting for Client");
  bar.PanelText(3, "XY012A");
  EXPECT_EQ(StatusText(bar.hWnd(), 0), "Waiting for Client");
  EXPECT_EQ(StatusText(bar.hWnd(), 1), "");
  EXPECT_EQ(StatusText(bar.hWnd(), 2), "XY012A");

  bar.SetText("simple");
  EXPECT_EQ(bar.Text(), "simple");
  EXPECT_EQ(SendMessageW(bar.hWnd(), SB_ISSIMPLE, 0, 0), FALSE);
  bar.SetStyle(1);
  EXPECT_NE(SendMessageW(bar.hWnd(), SB_ISSIMPLE, 0, 0), FALSE);
  EXPECT_EQ(bar.Style(), 1);
}

TEST(clsStatusBar, HeightIsInTwips) {
  EXPECT_EQ(clsStatusBar::PixelsToTwips(22, 15), 330);
  EXPECT_EQ(clsStatusBar::PixelsToTwips(22, 1440.0 / 120), 264);
  EXPECT_EQ(clsStatusBar::PixelsToTwips(5, 2.5), 12);  // a tie goes to even
  EXPECT_EQ(clsStatusBar::PixelsToTwips(7, 2.5), 18);

  TestWindow parent;
  clsStatusBar bar;
  bar.Create(parent.hwnd);
  RECT r{};
  SendMessageW(bar.hWnd(), SB_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
  ASSERT_GT(r.bottom - r.top, 0);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(bar.Height(), (r.bottom - r.top) * 1440 / dpi);

  // Resize puts it at the bottom of the parent, full width.
  MoveWindow(bar.hWnd(), 10, 10, 50, r.bottom - r.top, FALSE);
  bar.Resize(parent.hwnd);
  RECT client{}, placed{};
  GetClientRect(parent.hwnd, &client);
  GetWindowRect(bar.hWnd(), &placed);
  MapWindowPoints(nullptr, parent.hwnd, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.left, 0);
  EXPECT_EQ(placed.right, client.right);
  EXPECT_EQ(placed.bottom, client.bottom);
}
