#pragma once
// Reading and writing the settings file (in the encoding it has, see
// settings_text.h), where it is, and the program's settings from its file
// and command line together. Paths are UTF-8, for the system's wide calls.

#include <string>
#include <vector>

#include "settings/settings.h"

// Every section and key of the file at `path` (a missing file has none when
// `required` is false). Raises SettingsError when the file cannot be read.
SettingsFile ReadSettingsFile(const std::string& path, bool required);

// The full path of the settings file for this run: the one --ini names,
// else TolvanDDE.ini beside the program when it is there, else the one in
// %APPDATA%\TolvanDDE. Raises SettingsError for --ini without a value.
std::string SettingsFilePath(const std::vector<std::string>& arguments);

// The settings file for this run, then the command line. A file that --ini
// names must be there; the others may be missing. Raises SettingsError.
Settings LoadSettings(const std::vector<std::string>& arguments);

// The program works in the folder its settings file is in, however it was
// started (Start with Windows starts it in the logon folder): a relative
// capture folder and the debug log are there. `arguments` come back with the
// paths they name (--ini, --capture) made full from the folder they were
// given in; the working folder is then the settings file's. Raises
// SettingsError for --ini without a value.
std::vector<std::string> WorkInSettingsFolder(std::vector<std::string> arguments);

// Writes `values` into the file at `path` (see UpdateSettingsText), creating
// its folder when needed, in the encoding the file has (UTF-8 for a new
// one); refused when that encoding cannot hold a value. The new text goes to a new file first, which then
// replaces the old one in one step: a crash leaves the old file or the new
// one, never part of one. Raises SettingsError, the old file untouched.
void SaveSettingsFile(const std::string& path, const SettingsFile& values);
