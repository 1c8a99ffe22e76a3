// The program: one window that bridges ACARS decoders to a TCP client.

#include <windows.h>

#include "main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  frmMain form(instance);
  return form.Run();
}
