#include "settings/settings_file.h"

#include <windows.h>

#include <iterator>
#include <vector>

#include "common/files.h"
#include "pipeline/single_byte_text.h"
#include "settings/settings_location.h"
#include "settings/settings_writer.h"
#include "win32/wide_text.h"
#include "win32/win32_handles.h"

namespace {

// The profile functions return a list of NUL-terminated strings ending in an
// empty one, cut short (and then 2 less than the size) when the buffer is
// too small: read again with a larger one.
template <typename Read>
std::vector<std::string> ReadList(Read read) {
  for (DWORD size = 4096;; size *= 4) {
    std::vector<char> buffer(size);
    const DWORD used = read(buffer.data(), size);
    if (used + 2 < size || size >= (1u << 24)) {
      std::vector<std::string> items;
      for (const char* p = buffer.data(); *p; p += items.back().size() + 1) items.emplace_back(p);
      return items;
    }
  }
}

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// A path as the user meant it: relative to the working folder.
std::string FullPath(const std::string& name) {
  char full[MAX_PATH] = {};
  const DWORD length = GetFullPathNameA(name.c_str(), MAX_PATH, full, nullptr);
  return length > 0 && length < MAX_PATH ? std::string(full, length) : name;
}

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string AppDataFolder() {
  char folder[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableA("APPDATA", folder, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(folder, length) : std::string();
}

[[noreturn]] void CannotWrite(const std::string& path, DWORD error) {
  throw SettingsError("The settings file " + path + " cannot be written (error " + std::to_string(error) + ").");
}

}  // namespace

SettingsFile ReadSettingsFile(const std::string& name, bool required) {
  // The profile functions look for a bare name in the Windows folder: make
  // it a full path, as the user meant it, from the working folder.
  const std::string path = FullPath(name);
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES && !required) return {};
  // The profile functions read a missing or locked file as an empty one:
  // open it once first, so that such a file is an error, not no settings.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    throw SettingsError("The settings file " + path + " cannot be read (error " + std::to_string(GetLastError()) +
                        ").");
  }
  CloseHandle(file);

  SettingsFile settings;
  const auto sections =
      ReadList([&](char* buffer, DWORD size) { return GetPrivateProfileSectionNamesA(buffer, size, path.c_str()); });
  for (const std::string& section : sections) {
    auto& keys = settings[section];
    const auto lines = ReadList([&](char* buffer, DWORD size) {
      return GetPrivateProfileSectionA(section.c_str(), buffer, size, path.c_str());
    });
    for (const std::string& line : lines) {
      const auto equals = line.find('=');
      if (line.empty() || line[0] == ';' || line[0] == '#') continue;
      if (equals == std::string::npos)
        throw SettingsError("[" + section + "] " + line + ": a line key=value is allowed.");
      auto trim = [](std::string text) {
        const auto first = text.find_first_not_of(" \t");
        const auto last = text.find_last_not_of(" \t");
        return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
      };
      keys[trim(line.substr(0, equals))] = trim(line.substr(equals + 1));
    }
  }
  return settings;
}

std::string SettingsFilePath(const std::vector<std::string>& arguments) {
  const std::optional<std::string> named = IniPathOption(arguments);
  const std::string beside = ProgramFolder() + kSettingsFileName;
  return FullPath(ChooseSettingsPath(named, beside, IsFile(beside), AppDataFolder()));
}

Settings LoadSettings(const std::vector<std::string>& arguments) {
  const bool named = IniPathOption(arguments).has_value();
  return ParseSettings(arguments, ReadSettingsFile(SettingsFilePath(arguments), named));
}

void SaveSettingsFile(const std::string& path, const SettingsFile& values) {
  const std::wstring target = Wide(path);
  std::string text;
  if (IsFile(path)) {
    std::optional<std::string> read = files::ReadAll(path);
    if (!read) CannotWrite(path, ERROR_ACCESS_DENIED);
    text = std::move(*read);
  }
  const std::string updated = UpdateSettingsText(text, values);

  files::MakeFolders(files::Parent(path));
  // The new file stands beside the old one, so that the rename stays within
  // one folder and one volume, and is one step.
  const std::wstring fresh = target + L".new";
  HANDLE file = CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) CannotWrite(path, GetLastError());
  UniqueKernelHandle owner(file);
  DWORD written = 0;
  const bool whole = WriteFile(file, updated.data(), static_cast<DWORD>(updated.size()), &written, nullptr) &&
                     written == updated.size() && FlushFileBuffers(file);
  const DWORD writeError = GetLastError();
  owner.reset();
  if (!whole) {
    DeleteFileW(fresh.c_str());
    CannotWrite(path, writeError);
  }
  if (!MoveFileExW(fresh.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    DeleteFileW(fresh.c_str());
    CannotWrite(path, error);
  }
}
