#include "settings/settings_file.h"

#include <windows.h>

#include <vector>

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

}  // namespace

SettingsFile ReadSettingsFile(const std::string& name, bool required) {
  // The profile functions look for a bare name in the Windows folder: make
  // it a full path, as the user meant it, from the working folder.
  char full[MAX_PATH] = {};
  const DWORD length = GetFullPathNameA(name.c_str(), MAX_PATH, full, nullptr);
  const std::string path = length > 0 && length < MAX_PATH ? std::string(full, length) : name;
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

Settings LoadSettings(const std::vector<std::string>& arguments) {
  const std::optional<std::string> named = IniPathOption(arguments);
  const SettingsFile file =
      named ? ReadSettingsFile(*named, true) : ReadSettingsFile(ProgramFolder() + kSettingsFileName, false);
  return ParseSettings(arguments, file);
}
