#include "settings/settings_file.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "common/files.h"
#include "settings/settings_location.h"
#include "settings/settings_text.h"
#include "settings/settings_writer.h"
#include "settings/start_with_windows.h"
#include "win32/system_error_text.h"
#include "win32/wide_text.h"
#include "win32/win32_handles.h"

namespace {

std::string ProgramFolder() {
  const std::string program = Utf8FromWide(ThisProgram());
  return program.substr(0, program.find_last_of("\\/") + 1);
}

// A path as the user meant it: relative to the working folder.
std::string FullPath(const std::string& name) {
  const std::wstring wide = WideFromUtf8(name);
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return name;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  return length > 0 && length < size ? Utf8FromWide(full.substr(0, length)) : name;
}

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string AppDataFolder() {
  wchar_t folder[32768] = {};
  const DWORD length = GetEnvironmentVariableW(L"APPDATA", folder, 32768);
  return length > 0 && length < 32768 ? Utf8FromWide(std::wstring_view(folder, length)) : std::string();
}

[[noreturn]] void CannotWrite(const std::string& path, DWORD error) {
  throw SettingsError("The settings file " + path + " cannot be written: " + SystemErrorText(error));
}

// The file's text and encoding; a missing file is empty (and will be UTF-8).
DecodedText ReadText(const std::string& path, bool required) {
  if (!required && GetFileAttributesW(WideFromUtf8(path).c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  const std::optional<std::string> bytes = files::ReadAll(path);
  if (!bytes) throw SettingsError("The settings file " + path + " cannot be read: " + SystemErrorText(GetLastError()));
  return DecodeSettingsText(*bytes);
}

// Writes all of `bytes`; false with the system's error set when the disk
// takes less than all of it.
bool WriteWhole(HANDLE file, const std::string& bytes) {
  for (std::size_t at = 0; at < bytes.size();) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
    at += written;
  }
  return FlushFileBuffers(file) != 0;
}

}  // namespace

SettingsFile ReadSettingsFile(const std::string& name, bool required) {
  return ParseSettingsText(ReadText(FullPath(name), required).Utf8);
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

std::vector<std::string> WorkInSettingsFolder(std::vector<std::string> arguments) {
  const std::string capture = std::string("--") + kCaptureOption;
  for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (arguments[i] == kIniOption || arguments[i] == capture) {
      arguments[i + 1] = FullPath(arguments[i + 1]);
      ++i;
    }
  }
  // The folder in AppData may not be there before the first save.
  const std::string folder = files::Parent(SettingsFilePath(arguments));
  files::MakeFolders(folder);
  SetCurrentDirectoryW(WideFromUtf8(folder + "\\").c_str());
  return arguments;
}

void SaveSettingsFile(const std::string& path, const SettingsFile& values) {
  const std::wstring target = WideFromUtf8(path);
  // A folder in the file's place is not read: the rename below refuses it.
  const DecodedText old = IsFile(path) ? ReadText(path, true) : DecodedText{};
  const std::optional<std::string> updated = EncodeSettingsText(UpdateSettingsText(old.Utf8, values), old.Encoding);
  if (!updated) {
    throw SettingsError("The settings file " + path + " is saved as " + EncodingName(old.Encoding) +
                        ", which cannot hold every character of the new values. Save it as UTF-8 in an editor "
                        "first, or use only characters it can hold.");
  }

  files::MakeFolders(files::Parent(path));
  // The new file stands beside the old one, so that the rename stays within
  // one folder and one volume, and is one step.
  const std::wstring fresh = target + L".new";
  HANDLE file = CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) CannotWrite(path, GetLastError());
  UniqueKernelHandle owner(file);
  const bool whole = WriteWhole(file, *updated);
  const DWORD writeError = GetLastError();
  const bool closed = owner.reset();
  if (!whole || !closed) {
    const DWORD error = whole ? GetLastError() : writeError;
    DeleteFileW(fresh.c_str());
    CannotWrite(path, error);
  }
  if (!MoveFileExW(fresh.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    DeleteFileW(fresh.c_str());
    CannotWrite(path, error);
  }
}
