#pragma once
// What the system says about one of its error numbers, for messages the user
// reads: "There is not enough space on the disk. (error 112)".

#include <windows.h>

#include <string>

#include "win32/wide_text.h"

inline std::string SystemErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring said(text ? text : L"", length);
  LocalFree(text);
  while (!said.empty() && (said.back() == L'\n' || said.back() == L'\r' || said.back() == L' ')) said.pop_back();
  const std::string number = "(error " + std::to_string(error) + ")";
  return said.empty() ? number : Utf8FromWide(said) + (said.back() == L'.' ? " " : ". ") + number;
}
