#include "ui/tray_menu.h"

#include "settings/start_with_windows.h"
#include "ui/app_ids.h"

using namespace app;

TrayMenu::TrayMenu(HWND window, HICON icon, CommandSink command) : mWindow(window), mCommand(std::move(command)) {
  hTrayMenu.reset(CreatePopupMenu());
  AppendMenuA(hTrayMenu.get(), MF_STRING, kTrayShowForm, "&Show Form");
  AppendMenuA(hTrayMenu.get(), MF_STRING, kTrayAbout, "&About");
  AppendMenuA(hTrayMenu.get(), MF_STRING, kTrayStatistics, "S&tatistics");
  // These are the window's own commands (without the tray's bit).
  AppendMenuA(hTrayMenu.get(), MF_STRING, kCmdOptions, "&Options...");
  AppendMenuA(hTrayMenu.get(), MF_STRING, kCmdStartWithWindows, "Start with &Windows");
  AppendMenuA(hTrayMenu.get(), MF_STRING, kCmdStatusPage, "Open status &page");
  AppendMenuA(hTrayMenu.get(), MF_SEPARATOR, kTrayShowForm, "");
  AppendMenuA(hTrayMenu.get(), MF_STRING, kTrayExit, "&Exit");
  SetMenuDefaultItem(hTrayMenu.get(), 0, TRUE);

  IconEvent = std::make_unique<SysTray>(window, static_cast<SysTrayEvents*>(this));
  IconEvent->SetTrayIcon(Picture{Picture::kIcon, icon});
  IconEvent->SetFormhWnd(window);
  IconEvent->SetTrayTip(std::string(kTrayTip) + '\0');
  IconEvent->SetInTray(true);
}

void TrayMenu::MouseDown(std::int16_t Button, std::int32_t) {
  if (Button != 2) return;
  POINT p{};
  GetCursorPos(&p);
  // What the registry holds now: the user or an installer may have changed
  // it since.
  CheckMenuItem(hTrayMenu.get(), kCmdStartWithWindows,
                MF_BYCOMMAND | (StartsWithWindows() ? MF_CHECKED : MF_UNCHECKED));
  SetForegroundWindow(mWindow);  // or the menu would not close on a click elsewhere
  TrackPopupMenu(hTrayMenu.get(), TPM_CENTERALIGN | TPM_RIGHTBUTTON, p.x, p.y, 0, mWindow, nullptr);
  PostMessageW(mWindow, WM_NULL, 0, 0);
}

void TrayMenu::MouseDblClick(std::int16_t Button, std::int32_t) {
  if (Button == 1) ShowWindow(mWindow, SW_SHOW);
}
