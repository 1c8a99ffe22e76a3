// The file operations of common/files.h on Windows, through the system's
// wide functions: paths are UTF-8.

#include <windows.h>

#include <cstdio>

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

std::FILE* OpenForAppend(const std::string& path) {
  return _wfopen(WideFromUtf8(path).c_str(), L"ab");
}

}  // namespace files
