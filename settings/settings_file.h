#pragma once
// Reading the settings file with the system's profile functions, and the
// program's settings from its file and command line together.

#include <string>
#include <vector>

#include "settings/settings.h"

// Every section and key of the file at `path` (a missing file has none when
// `required` is false). Raises SettingsError when the file cannot be read.
SettingsFile ReadSettingsFile(const std::string& path, bool required);

// The settings file beside the program, or the one --ini names, then the
// command line. Raises SettingsError.
Settings LoadSettings(const std::vector<std::string>& arguments);
