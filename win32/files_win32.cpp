// The file operations of common/files.h on Windows, through the system's
// wide functions: paths are UTF-8.

#include <windows.h>

#include <algorithm>

#include "common/files.h"
#include "pipeline/single_byte_text.h"
#include "win32/wide_text.h"
#include "win32/win32_handles.h"

namespace files {

namespace {

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool MakeFolders(const std::string& folder) {
  if (folder.empty() || IsFolder(folder)) return true;
  // A drive ("C:") exists or not; it is never made.
  if (folder.size() == 2 && folder[1] == ':') return false;
  const std::string parent = Parent(folder);
  if (!parent.empty() && parent != folder && !MakeFolders(parent)) return false;
  return CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::vector<std::string> FileNames(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(WideFromUtf8(Join(folder, "*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      names.push_back(Utf8FromWide(found.cFileName));
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

bool Remove(const std::string& path) {
  return DeleteFileW(WideFromUtf8(path).c_str()) != 0;
}

std::optional<std::string> ReadAll(const std::string& path) {
  HANDLE opened = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return std::nullopt;
  const UniqueKernelHandle file(opened);
  std::string text;
  char buffer[65536];
  for (DWORD n = 0; ReadFile(opened, buffer, sizeof buffer, &n, nullptr);) {
    if (n == 0) return text;
    text.append(buffer, n);
  }
  return std::nullopt;
}

namespace {

HANDLE Handle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

bool AppendFile::Open(const std::string& path) {
  Close();
  // Others may read the file, and delete it, while it is open.
  const HANDLE opened = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened != INVALID_HANDLE_VALUE) mHandle = reinterpret_cast<std::intptr_t>(opened);
  return IsOpen();
}

void AppendFile::Close() {
  if (IsOpen()) CloseHandle(Handle(mHandle));
  mHandle = kNone;
}

std::optional<std::uint64_t> AppendFile::Size() const {
  LARGE_INTEGER size{};
  if (!IsOpen() || !GetFileSizeEx(Handle(mHandle), &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<char> AppendFile::LastByte() const {
  LARGE_INTEGER back{};
  back.QuadPart = -1;
  char last = 0;
  DWORD n = 0;
  if (!IsOpen() || !SetFilePointerEx(Handle(mHandle), back, nullptr, FILE_END) ||
      !ReadFile(Handle(mHandle), &last, 1, &n, nullptr) || n != 1) {
    return std::nullopt;
  }
  return last;
}

bool AppendFile::Append(std::string_view bytes) {
  if (!IsOpen() || !SetFilePointerEx(Handle(mHandle), LARGE_INTEGER{}, nullptr, FILE_END)) return false;
  while (!bytes.empty()) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    if (!WriteFile(Handle(mHandle), bytes.data(), chunk, &n, nullptr) || n == 0) return false;
    bytes.remove_prefix(n);
  }
  return true;
}

bool AppendFile::Truncate(std::uint64_t size) {
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  return IsOpen() && SetFilePointerEx(Handle(mHandle), at, nullptr, FILE_BEGIN) && SetEndOfFile(Handle(mHandle));
}

}  // namespace files
