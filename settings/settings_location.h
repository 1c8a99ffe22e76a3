#pragma once
// Where the settings file lives. A portable program keeps it beside itself;
// an installed one may not write there, so the user's application-data
// folder holds it instead.
// No platform header: the caller finds the folders.

#include <optional>
#include <string>

// The folder in the user's application-data folder that holds the file.
inline constexpr const char* kSettingsFolderName = "TolvanDDE";

// The file --ini names when it names one; else the file beside the program
// (`besideProgram`) when it exists; else TolvanDDE\TolvanDDE.ini in the
// user's application-data folder `appData` (the file beside the program
// when there is no such folder).
std::string ChooseSettingsPath(const std::optional<std::string>& named, const std::string& besideProgram,
                               bool besideExists, const std::string& appData);
