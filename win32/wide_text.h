#pragma once
// The program's single-byte text, and the UTF-8 of paths and settings, as the
// wide strings the system's W functions take, and back. On Windows wchar_t
// is UTF-16.

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

// A UTF-8 path (or settings text) for the W functions, and back.
inline std::wstring WideFromUtf8(std::string_view text) {
  const std::u16string wide = Utf8ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

inline std::string Utf8FromWide(std::wstring_view text) {
  return Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}
