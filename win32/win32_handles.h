#pragma once
// Small move-only owners for Win32 handles: each releases its handle with the
// one call that kind of handle needs, exactly once.

#include <windows.h>

#include <utility>

template <typename Handle, typename Traits>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : h_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, Traits::Invalid())) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.h_, Traits::Invalid()));
    return *this;
  }
  ~UniqueHandle() { reset(); }

  Handle get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::Invalid(); }
  Handle release() { return std::exchange(h_, Traits::Invalid()); }
  // Releases the current handle; returns whether that succeeded.
  bool reset(Handle h = Traits::Invalid()) {
    const Handle old = std::exchange(h_, h);
    return old == Traits::Invalid() || Traits::Close(old);
  }

 private:
  Handle h_ = Traits::Invalid();
};

struct WindowTraits {
  static HWND Invalid() { return nullptr; }
  static bool Close(HWND h) { return DestroyWindow(h) != FALSE; }
};
struct MenuTraits {
  static HMENU Invalid() { return nullptr; }
  static bool Close(HMENU h) { return DestroyMenu(h) != FALSE; }
};
struct IconTraits {
  static HICON Invalid() { return nullptr; }
  static bool Close(HICON h) { return DestroyIcon(h) != FALSE; }
};
struct GlobalTraits {
  static HGLOBAL Invalid() { return nullptr; }
  static bool Close(HGLOBAL h) { return GlobalFree(h) == nullptr; }
};

struct KernelTraits {
  static HANDLE Invalid() { return nullptr; }
  static bool Close(HANDLE h) { return CloseHandle(h) != FALSE; }
};

struct GdiObjectTraits {
  static HGDIOBJ Invalid() { return nullptr; }
  static bool Close(HGDIOBJ h) { return DeleteObject(h) != FALSE; }
};
struct MemoryDcTraits {
  static HDC Invalid() { return nullptr; }
  static bool Close(HDC h) { return DeleteDC(h) != FALSE; }
};

struct RegistryKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static bool Close(HKEY h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};

struct ModuleTraits {
  static HMODULE Invalid() { return nullptr; }
  static bool Close(HMODULE h) { return FreeLibrary(h) != 0; }
};

using UniqueWindow = UniqueHandle<HWND, WindowTraits>;
using UniqueModule = UniqueHandle<HMODULE, ModuleTraits>;
using UniqueGdiObject = UniqueHandle<HGDIOBJ, GdiObjectTraits>;
using UniqueMemoryDc = UniqueHandle<HDC, MemoryDcTraits>;
using UniqueKernelHandle = UniqueHandle<HANDLE, KernelTraits>;
using UniqueMenu = UniqueHandle<HMENU, MenuTraits>;
using UniqueIcon = UniqueHandle<HICON, IconTraits>;
using UniqueGlobal = UniqueHandle<HGLOBAL, GlobalTraits>;
using UniqueRegistryKey = UniqueHandle<HKEY, RegistryKeyTraits>;
