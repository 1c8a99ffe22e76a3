#pragma once
// TrayMenu: the program's icon in the notification area (`IconEvent`), its
// tip and its popup menu: Show Form, About, Statistics, Options..., Start
// with Windows (checked as the registry says when the menu opens), Exit. A
// right click opens the menu and a double click shows the window; the
// menu's own commands go to the window by their index, Options... and Start
// with Windows as the window's commands. GUI thread only.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/sys_tray.h"
#include "win32/win32_handles.h"

class TrayMenu : private SysTrayEvents {
 public:
  using CommandSink = std::function<void(std::int16_t index)>;
  // Puts `icon` in the tray for `window`, with the program's name as tip.
  TrayMenu(HWND window, HICON icon, CommandSink command);
  TrayMenu(const TrayMenu&) = delete;
  TrayMenu& operator=(const TrayMenu&) = delete;

  SysTray& Icon() { return *IconEvent; }
  HMENU Menu() const { return hTrayMenu.get(); }

 private:
  void MouseDown(std::int16_t Button, std::int32_t Id) override;
  void MouseDblClick(std::int16_t Button, std::int32_t Id) override;
  void MenuClick(std::int16_t index) override { mCommand(index); }

  HWND mWindow;
  CommandSink mCommand;
  UniqueMenu hTrayMenu;
  std::unique_ptr<SysTray> IconEvent;
};
