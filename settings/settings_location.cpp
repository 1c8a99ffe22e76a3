#include "settings/settings_location.h"

#include "settings/settings.h"

std::string ChooseSettingsPath(const std::optional<std::string>& named, const std::string& besideProgram,
                               bool besideExists, const std::string& appData) {
  if (named) return *named;
  if (besideExists || appData.empty()) return besideProgram;
  std::string folder = appData;
  if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder + kSettingsFolderName + "\\" + kSettingsFileName;
}
