#include "ui/sys_tray.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* kDefaultTip = "Tray icon";
constexpr std::size_t kTipField = 64;

// Module1's shared state: the window's own procedure and the SysTray whose
// icon was shown last.
WNDPROC gPreviousProc = nullptr;
SysTray* gActiveTray = nullptr;

NOTIFYICONDATAA Record(HWND window, std::uint32_t id) {
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;  // the first version of the record
  data.hWnd = window;
  data.uID = id;
  return data;
}

// The tip, NUL-terminated and filled with blanks; cut so that the NUL fits.
void FillTip(NOTIFYICONDATAA& data, const std::string& tip) {
  std::memset(data.szTip, ' ', kTipField);
  const std::size_t n = std::min(tip.size(), kTipField - 1);
  std::memcpy(data.szTip, tip.data(), n);
  data.szTip[n] = '\0';
}

}  // namespace

SysTray::SysTray(HWND window, SysTrayEvents* events) : mWindow(window), mEvents(events) {
  SetInTray(false);
  SetTrayTip(kDefaultTip);
}

SysTray::~SysTray() {
  if (mInTray) SetInTray(false);
  if (gActiveTray == this) gActiveTray = nullptr;
}

void SysTray::SetTrayIcon(const Picture& Icon) {
  if (Icon.Type != Picture::kIcon || !Icon.Handle) return;
  mIcon = Icon;
  if (mShown) Modify(NIF_ICON);
}

void SysTray::SetTrayTip(const std::string& Tip) {
  mTip = Tip;
  if (mShown) Modify(NIF_TIP);
}

void SysTray::SetInTray(bool Show) {
  if (Show == mInTray) return;
  if (Show) {
    gPreviousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(mWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Module1::TrayWindowProc)));
    gActiveTray = this;
    AddIcon();
    mShown = true;
  } else if (mShown) {
    DeleteIcon();
    SetWindowLongPtrW(mWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gPreviousProc));
    mShown = false;
  }
  mInTray = Show;
}

void SysTray::Readd() {
  if (mShown) AddIcon();
}

void SysTray::AddIcon() {
  NOTIFYICONDATAA data = Record(mWindow, mIconId);
  if (mIcon.Handle) {
    data.hIcon = static_cast<HICON>(mIcon.Handle);
    data.uFlags |= NIF_ICON;
  }
  if (!mTip.empty()) {
    FillTip(data, mTip);
    data.uFlags |= NIF_TIP;
  }
  data.uCallbackMessage = kNotifyMessage;
  data.uFlags |= NIF_MESSAGE;
  Shell_NotifyIconA(NIM_ADD, &data);
}

void SysTray::DeleteIcon() {
  NOTIFYICONDATAA data = Record(mWindow, mIconId);
  Shell_NotifyIconA(NIM_DELETE, &data);
}

void SysTray::Modify(UINT flags) {
  NOTIFYICONDATAA data = Record(mWindow, mIconId);
  data.uFlags = flags;
  if (flags & NIF_ICON) data.hIcon = static_cast<HICON>(mIcon.Handle);
  if (flags & NIF_TIP) FillTip(data, mTip);
  Shell_NotifyIconA(NIM_MODIFY, &data);
}

bool SysTray::ShowBalloon(const std::string& title, const std::string& text) {
  if (!mShown) return false;
  // Balloons need the second version of the record.
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V2_SIZE;
  data.hWnd = mWindow;
  data.uID = mIconId;
  data.uFlags = NIF_INFO;
  data.dwInfoFlags = NIIF_WARNING;
  data.uTimeout = 10000;
  const std::size_t titleLength = std::min(title.size(), sizeof data.szInfoTitle - 1);
  std::memcpy(data.szInfoTitle, title.data(), titleLength);
  const std::size_t textLength = std::min(text.size(), sizeof data.szInfo - 1);
  std::memcpy(data.szInfo, text.data(), textLength);
  return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

void SysTray::RaiseTrayMouseEvent(std::int32_t message, std::int32_t id) {
  if (!mEvents) return;
  switch (message) {
    case WM_MOUSEMOVE:
      mEvents->MouseMove(id);
      break;
    case WM_LBUTTONDOWN:
      mEvents->MouseDown(1, id);
      break;
    case WM_LBUTTONUP:
      mEvents->MouseUp(1, id);
      break;
    case WM_LBUTTONDBLCLK:
      mEvents->MouseDblClick(1, id);
      break;
    case WM_RBUTTONDOWN:
      mEvents->MouseDown(2, id);
      break;
    case WM_RBUTTONUP:
      mEvents->MouseUp(2, id);
      break;
    case WM_RBUTTONDBLCLK:
      mEvents->MouseDblClick(2, id);
      break;
    default:
      break;
  }
}

void SysTray::RaiseMenuClick(std::int16_t index) {
  if (mEvents) mEvents->MenuClick(index);
}

namespace Module1 {

LRESULT CALLBACK TrayWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // The events come first; whatever they do, the message then reaches the
  // window's own procedure, so nothing may escape from them.
  const WNDPROC previous = gPreviousProc;
  try {
    if (SysTray* tray = gActiveTray) {
      if (message == WM_COMMAND && HIWORD(wParam) == 0) {
        if (wParam & SysTray::kMenuCommandBit) tray->RaiseMenuClick(static_cast<std::int16_t>(wParam & 3));
      } else if (message == SysTray::kNotifyMessage) {
        tray->RaiseTrayMouseEvent(static_cast<std::int32_t>(lParam), static_cast<std::int32_t>(wParam));
      }
    }
  } catch (...) {
  }
  return previous ? CallWindowProcW(previous, hwnd, message, wParam, lParam)
                  : DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace Module1
