#include "ui/message_display.h"

#include <algorithm>

#include "pipeline/single_byte_text.h"
#include "stats/stage_profile.h"

namespace {

int TwipsToPixels(int twips, int dpi) {
  return MulDiv(twips, dpi, 1440);
}

// The box's margins in twips: left and top, and right of it.
constexpr int kMargin = 120;
constexpr int kRightMargin = 90;

// The box's width in `parent` at `dpi`: the client area's less the margins.
int BoxWidth(HWND parent, int dpi) {
  RECT client{};
  GetClientRect(parent, &client);
  return std::max(0, static_cast<int>(client.right) - TwipsToPixels(kMargin, dpi) - TwipsToPixels(kRightMargin, dpi));
}

}  // namespace

void MessageDisplay::Create(HWND parent, HINSTANCE instance, int id, int dpi) {
  mParent = parent;
  mBox = CreateWindowExW(
      WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY,
      TwipsToPixels(kMargin, dpi), TwipsToPixels(kMargin, dpi), BoxWidth(parent, dpi), TwipsToPixels(1455, dpi), parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  SendMessageW(mBox, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
}

void MessageDisplay::Layout(int dpi, HFONT font, int bottomLimit) {
  if (!mBox) return;
  const int top = TwipsToPixels(kMargin, dpi);
  MoveWindow(mBox, TwipsToPixels(kMargin, dpi), top, BoxWidth(mParent, dpi),
             std::min(TwipsToPixels(1455, dpi), bottomLimit - top), TRUE);
  SendMessageW(mBox, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void MessageDisplay::Arrived(const RouterEvents::Latest& latest) {
  if (latest.Display) mNext.Display = latest.Display;
  if (latest.Panels) mNext.Panels = latest.Panels;
  switch (mPacer.Arrived(GetTickCount64())) {
    case DisplayPacer::Step::ShowNow:
      ShowNow();
      break;
    case DisplayPacer::Step::StartTimer:
      if (!mParent || !SetTimer(mParent, mTimerId, static_cast<UINT>(DisplayPacer::kQuietMs), nullptr)) ShowNow();
      break;
    case DisplayPacer::Step::TimerRunning:
      break;
  }
}

void MessageDisplay::TimerTick() {
  if (mPacer.Due(GetTickCount64())) ShowNow();
}

void MessageDisplay::ShowNow() {
  const StageTimer timer(Stage::Display);
  if (mParent) KillTimer(mParent, mTimerId);
  mPacer.Shown(GetTickCount64());
  const RouterEvents::Latest latest = std::exchange(mNext, {});
  if (latest.Display && mBox) {
    // Under Wine a visible multi-line text box with a scroll bar takes about
    // 20 ms to take a new text, a hidden one 2 ms; the program's thread
    // forwards nothing meanwhile. It is hidden for the change and shown again
    // (and painted with the window's next paint).
    const bool visible = IsWindowVisible(mBox);
    const bool focused = GetFocus() == mBox;
    if (visible) ShowWindow(mBox, SW_HIDE);
    SetWindowTextW(mBox, reinterpret_cast<const wchar_t*>(ToUtf16(DisplayText(*latest.Display)).c_str()));
    if (visible) ShowWindow(mBox, SW_SHOWNA);
    if (focused) SetFocus(mBox);
  }
  if (latest.Panels && mParent) mPanels(latest.Panels->first, latest.Panels->second);
}
