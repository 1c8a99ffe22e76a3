#pragma once
// The first line of the error that parsing `arguments` and `file` raises
// (without the list of options), or "" when they are good.

#include <string>
#include <vector>

#include "settings/settings.h"

inline std::string ErrorOf(const std::vector<std::string>& arguments, const SettingsFile& file = {}) {
  try {
    ParseSettings(arguments, file);
  } catch (const SettingsError& e) {
    const std::string text = e.what();
    return text.substr(0, text.find('\n'));
  }
  return "";
}
