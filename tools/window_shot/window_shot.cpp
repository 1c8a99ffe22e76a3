// window_shot: a picture of one of the bridge's windows, for the documents.
// Finds the window of class --class (the first one, or the one captioned
// --title), optionally first sends the main window the menu command
// --command, then writes what the window shows as a 24-bit BMP file.
//
//   window_shot --class NAME [--title TEXT] [--command ID] [--wait MS] --out FILE.bmp

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "command_line.h"

int main(int argc, char** argv) {
  std::string windowClass, title, out;
  long command = 0, waitMs = 1500;
  CommandLine args("window_shot", argc, argv);
  while (args.Next()) {
    if (args.Is("--class")) {
      windowClass = args.Value();
    } else if (args.Is("--title")) {
      title = args.Value();
    } else if (args.Is("--command")) {
      command = args.Number();
    } else if (args.Is("--wait")) {
      waitMs = args.Number();
    } else if (args.Is("--out")) {
      out = args.Value();
    } else {
      args.Unknown();
    }
  }
  if (command) {
    HWND main = FindWindowA("TolvanDdeServerMain", nullptr);
    if (!main) {
      std::fprintf(stderr, "window_shot: the bridge's window is not there\n");
      return 2;
    }
    PostMessageA(main, WM_COMMAND, static_cast<WPARAM>(command), 0);
  }
  Sleep(static_cast<DWORD>(waitMs));
  HWND window = FindWindowA(windowClass.c_str(), title.empty() ? nullptr : title.c_str());
  if (!window) {
    std::fprintf(stderr, "window_shot: no window of class %s\n", windowClass.c_str());
    return 2;
  }
  // The picture is what the screen shows: the window goes on top of any
  // other and is drawn afresh, children included, before it is taken.
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  SetForegroundWindow(window);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(500);
  RECT r;
  GetWindowRect(window, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, previous);

  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // bottom-up, as BMP files hold it
  info.biPlanes = 1;
  info.biBitCount = 24;
  const int stride = (width * 3 + 3) & ~3;
  std::vector<char> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::ofstream bmp(out, std::ios::binary);
  bmp.write(reinterpret_cast<const char*>(&file), sizeof file);
  bmp.write(reinterpret_cast<const char*>(&info), sizeof info);
  bmp.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  return bmp ? 0 : 1;
}
