#pragma once
// The program's single-byte text as the wide strings the system's W
// functions take, and back. On Windows wchar_t is UTF-16.

#include <string>
#include <string_view>

#include "pipeline/single_byte_text.h"

inline std::wstring Wide(std::string_view text) {
  const std::u16string wide = ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

inline std::string Narrow(std::wstring_view text) {
  return ToSingleByte(std::u16string(text.begin(), text.end()));
}
