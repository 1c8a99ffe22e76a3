#pragma once
// Command ids, timer ids, resource ids and the fixed texts and numbers of the
// main window, in one place.

#include <windows.h>

#include <cstdint>

namespace app {

// Menu bar commands. Their ids keep bit 0x2000 clear: the tray component
// takes every command with that bit as one of its popup menu's.
enum Command : UINT {
  kCmdDebugLog = 101,
  kCmdExit = 102,
  kCmdOptions = 103,           // also in the tray menu
  kCmdStartWithWindows = 104,  // the tray menu's
  kCmdStatusPage = 105,        // also in the tray menu
  kCmdSkySpy = 111,
  kCmdAirmaster = 112,
  kCmdAirNav = 113,
  kCmdPosfix = 114,
  kCmdStatistics = 121,
};
// The Source menu: each decoder link's item and handler, in the links' order.
struct SourceCommand {
  UINT Command;
  const char* Handler;
};
constexpr SourceCommand kSourceCommands[] = {{kCmdSkySpy, "mnuSkySpy_Click"},
                                             {kCmdAirmaster, "mnuAirmaster_Click"},
                                             {kCmdAirNav, "mnuAirNav_Click"},
                                             {kCmdPosfix, "mnuPosfix_Click"}};

// Tray popup menu commands: 0x2000 plus the index the tray reports.
enum TrayCommand : UINT {
  kTrayShowForm = 0x2000,
  kTrayAbout = 0x2001,
  kTrayExit = 0x2002,
  kTrayStatistics = 0x2003,
};
enum TrayMenuIndex : short { kIndexShowForm = 0, kIndexAbout = 1, kIndexExit = 2, kIndexStatistics = 3 };

constexpr UINT_PTR kStateTimerId = 1;
constexpr UINT kStateTimerMs = 200;
constexpr UINT_PTR kRelinkTimerId = 2;
constexpr UINT_PTR kLinkWatchTimerId = 3;
constexpr UINT kLinkWatchTimerMs = 500;
constexpr UINT_PTR kShowTimerId = 4;
// The router's request to send what its outputs kept (posted to itself).
constexpr UINT kFlushMessage = WM_APP + 1;
// The decoder probe found a decoder (wParam: its index in the Source menu's order).
constexpr UINT kDecoderAnsweredMessage = WM_APP + 2;
// Every second: the tray tip's totals and the silence watchdog.
constexpr UINT_PTR kSecondTimerId = 5;
constexpr int kIconResource = 101;
// WM_DPICHANGED (Windows 8.1 and later): the window's monitor has another scale.
constexpr UINT kDpiChangedMessage = 0x02E0;
constexpr int kDisplayId = 1001;

constexpr const wchar_t* kMainWindowClass = L"TolvanDdeServerMain";
constexpr const wchar_t* kCaption = L"TOLVAN DDE Server v1.31";
constexpr const char* kTrayTip = "Zizizer ODO Rerido";
constexpr const char* kAboutTitle = "ZIZIZER ODO Rerido";
constexpr const char* kAboutText =
    "ZIZIZER ODO Rerido\r\nACARS decoders to TCP port 2201, built by the bridge's developers.";

// Status panels, numbered from 1.
constexpr int kPanelConnection = 1;
constexpr int kPanelRegistration = 2;
constexpr int kPanelFlight = 3;
constexpr int kPanelDrops = 4;
constexpr int kPanelErrors = 5;

}  // namespace app
