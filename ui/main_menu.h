#pragma once
// The main window's menu bar: File (Debug Log, Options..., exit), Source (the four
// decoders, checked while linked) and View (Statistics).

#include <windows.h>

// A new menu bar; the window it is set on owns it.
HMENU CreateMainMenu();
// Checks or clears the item `id`; nothing without a menu.
void SetMenuCheck(HMENU menu, UINT id, bool checked);
