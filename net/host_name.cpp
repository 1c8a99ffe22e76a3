#include "net/host_name.h"

#include <windows.h>

#include <algorithm>

#include "win32/wide_text.h"

std::string HostNameForLookup(const std::string& utf8) {
  if (std::all_of(utf8.begin(), utf8.end(), [](unsigned char c) { return c < 0x80; })) return utf8;
  const std::wstring wide = WideFromUtf8(utf8);
  // A DNS name is at most 255 characters; the international form is ASCII.
  wchar_t ascii[256];
  const int length = IdnToAscii(0, wide.c_str(), static_cast<int>(wide.size()), ascii, 256);
  if (length <= 0) return utf8;
  std::string name;
  for (int i = 0; i < length; ++i) name += static_cast<char>(ascii[i]);
  return name;
}
