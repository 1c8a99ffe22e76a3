#pragma once
// Start with Windows: a value under the user's Run key that starts this
// program, hidden in the tray, when the user logs on. The registry is the
// only record of the choice, so what the program shows is always read from
// it (the user or an installer may change it elsewhere).
// Any thread; each call opens and closes the key.

#include <string>

// The Run key under HKEY_CURRENT_USER, and the program's value in it (the
// installer writes and removes the same value).
inline constexpr const wchar_t* kRunKeyPath = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const wchar_t* kRunValueName = L"TolvanDDE";

// The command the Run value holds: the program's quoted path, then
// --minimized.
std::wstring StartCommand(const std::wstring& program);

// The full path of the running program.
std::wstring ThisProgram();

// Whether the Run value is there (whichever copy of the program it names).
bool StartsWithWindows();

// Writes the Run value for `program`, or removes it. Raises
// std::runtime_error with a text for the user when the registry refuses.
void SetStartWithWindows(bool on, const std::wstring& program = ThisProgram());
