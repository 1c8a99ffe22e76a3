#include "app/single_copy.h"

#include <string>

#include "ui/app_ids.h"

namespace single_copy {

namespace {

constexpr const wchar_t* kPortProperty = L"TolvanDDE.Port";

HWND FindCopy(std::int32_t port) {
  for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, app::kMainWindowClass, nullptr)) != nullptr;) {
    if (reinterpret_cast<std::intptr_t>(GetPropW(w, kPortProperty)) == port) return w;
  }
  return nullptr;
}

}  // namespace

UniqueKernelHandle ClaimPort(std::int32_t port) {
  const std::wstring name = L"TolvanDDE-port-" + std::to_wstring(port);
  UniqueKernelHandle mutex(CreateMutexW(nullptr, FALSE, name.c_str()));
  if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) return {};
  return mutex;
}

void MarkWindow(HWND window, std::int32_t port) {
  SetPropW(window, kPortProperty, reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(port)));
}

UINT ShowMessage() {
  static const UINT message = RegisterWindowMessageW(L"TolvanDDE.ShowYourself");
  return message;
}

bool ShowRunningCopy(std::int32_t port, DWORD waitMs) {
  const ULONGLONG deadline = GetTickCount64() + waitMs;
  for (;;) {
    if (HWND window = FindCopy(port)) {
      // This process was started by the user and may hand the foreground on.
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      AllowSetForegroundWindow(pid);
      DWORD_PTR result = 0;
      if (SendMessageTimeoutW(window, ShowMessage(), 0, 0, SMTO_ABORTIFHUNG, 5000, &result)) return true;
    }
    if (GetTickCount64() >= deadline) return false;
    Sleep(100);
  }
}

}  // namespace single_copy
