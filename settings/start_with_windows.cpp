#include "settings/start_with_windows.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

#include "win32/win32_handles.h"

namespace {

[[noreturn]] void Refused(const char* what, LSTATUS error) {
  throw std::runtime_error(std::string("Start with Windows cannot be ") + what + " (registry error " +
                           std::to_string(error) + ").");
}

}  // namespace

std::wstring StartCommand(const std::wstring& program) {
  return L"\"" + program + L"\" --minimized";
}

std::wstring ThisProgram() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) return std::wstring(path.data(), length);
    path.resize(path.size() * 2);
  }
}

bool StartsWithWindows() {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKeyPath, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return false;
  const UniqueRegistryKey key(opened);
  return RegQueryValueExW(key.get(), kRunValueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void SetStartWithWindows(bool on, const std::wstring& program) {
  HKEY opened = nullptr;
  LSTATUS error =
      RegCreateKeyExW(HKEY_CURRENT_USER, kRunKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr);
  if (error != ERROR_SUCCESS) Refused(on ? "switched on" : "switched off", error);
  const UniqueRegistryKey key(opened);
  if (on) {
    const std::wstring command = StartCommand(program);
    error = RegSetValueExW(key.get(), kRunValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                           static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    if (error != ERROR_SUCCESS) Refused("switched on", error);
    return;
  }
  error = RegDeleteValueW(key.get(), kRunValueName);
  if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) Refused("switched off", error);
}
