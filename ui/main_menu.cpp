#include "ui/main_menu.h"

#include "ui/app_ids.h"

using namespace app;

HMENU CreateMainMenu() {
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, kCmdDebugLog, L"&Debug Log");
  AppendMenuW(file, MF_STRING, kCmdOptions, L"&Options...");
  AppendMenuW(file, MF_STRING, kCmdStatusPage, L"Open status &page");
  AppendMenuW(file, MF_STRING, kCmdExit, L"e&xit");
  HMENU source = CreatePopupMenu();
  AppendMenuW(source, MF_STRING, kCmdSkySpy, L"&SkySpy");
  AppendMenuW(source, MF_STRING, kCmdAirmaster, L"&Airmaster");
  AppendMenuW(source, MF_STRING, kCmdAirNav, L"Air&Nav Decoder");
  AppendMenuW(source, MF_STRING, kCmdPosfix, L"&Posfix Client");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(source), L"&Source");
  HMENU view = CreatePopupMenu();
  AppendMenuW(view, MF_STRING, kCmdStatistics, L"S&tatistics");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(view), L"&View");
  return bar;
}

void SetMenuCheck(HMENU menu, UINT id, bool checked) {
  if (menu) CheckMenuItem(menu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}
