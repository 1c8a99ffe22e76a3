#include "settings.h"

#include <charconv>
#include <functional>

namespace {

// One setting: its option on the command line is "--" + Key, its key in
// the file stands in Section.
struct Option {
  const char* Key;
  const char* Section;
  const char* Allowed;  // what the error message says is allowed
  bool Flag;            // an option without value; in the file 0 or 1
  std::function<void(Settings&, const std::string& where, const std::string& value)> Apply;
};

[[noreturn]] void Refuse(const std::string& where, const std::string& value, const char* allowed) {
  throw SettingsError(where + " " + value + ": " + allowed + " is allowed.");
}

std::int32_t Number(const std::string& where, const std::string& text, std::int32_t low, std::int32_t high,
                    const char* allowed) {
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    Refuse(where, text, allowed);
  }
  return value;
}

// A dotted IPv4 address: four numbers of 0 to 255.
bool IsIpv4Address(const std::string& text) {
  const char* p = text.data();
  const char* end = p + text.size();
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (p == end || *p != '.') return false;
      ++p;
    }
    unsigned value = 0;
    const auto [next, error] = std::from_chars(p, end, value);
    if (error != std::errc() || next == p || next - p > 3 || value > 255) return false;
    p = next;
  }
  return p == end;
}

bool FlagValue(const std::string& where, const std::string& text) {
  if (text == "1") return true;
  if (text == "0") return false;
  Refuse(where, text, "0 or 1");
}

const std::vector<Option>& Options() {
  static const std::vector<Option> options = {
      {"port", "server", "a whole number from 1 to 65535 (default 2201)", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         s.Port = Number(w, v, 1, 65535, "a whole number from 1 to 65535 (default 2201)");
       }},
      {"bind", "server", "an IPv4 address of this PC such as 127.0.0.1 (default: every interface)", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         if (!IsIpv4Address(v)) Refuse(w, v, "an IPv4 address of this PC such as 127.0.0.1 (default: every interface)");
         s.Bind = v == "0.0.0.0" ? "" : v;
       }},
      {"max-clients", "server", "a whole number from 1 to 64 (default 1)", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         s.MaxClients = Number(w, v, 1, 64, "a whole number from 1 to 64 (default 1)");
       }},
      {"debug-log", "window", "0 or 1 (default 0)", true,
       [](Settings& s, const std::string& w, const std::string& v) { s.DebugLog = FlagValue(w, v); }},
      {"minimized", "window", "0 or 1 (default 0)", true,
       [](Settings& s, const std::string& w, const std::string& v) { s.Minimized = FlagValue(w, v); }},
      {"relink-seconds", "decoders", "a whole number from 0 (never) to 3600 (default 5)", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         s.RelinkSeconds = Number(w, v, 0, 3600, "a whole number from 0 (never) to 3600 (default 5)");
       }},
      {"silence-minutes", "decoders", "a whole number from 0 (never) to 10080 (default 30)", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         s.SilenceMinutes = Number(w, v, 0, 10080, "a whole number from 0 (never) to 10080 (default 30)");
       }},
  };
  return options;
}

const Option* FindOption(const std::string& key) {
  for (const Option& option : Options()) {
    if (key == option.Key) return &option;
  }
  return nullptr;
}

}  // namespace

std::string SettingsHelp() {
  std::string help =
      std::string(kIniOption) + " PATH: the settings file (default " + kSettingsFileName + " beside the program)\n";
  for (const Option& option : Options()) {
    help += std::string("--") + option.Key + (option.Flag ? "" : " VALUE") + " ([" + option.Section + "] " +
            option.Key + "): " + option.Allowed + "\n";
  }
  return help;
}

std::optional<std::string> IniPathOption(const std::vector<std::string>& arguments) {
  std::optional<std::string> path;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] != kIniOption) continue;
    if (i + 1 >= arguments.size()) throw SettingsError(std::string(kIniOption) + " needs a value: the settings file.");
    path = arguments[++i];
  }
  return path;
}

Settings ParseSettings(const std::vector<std::string>& arguments, const SettingsFile& file) {
  Settings settings;
  for (const auto& [section, keys] : file) {
    for (const auto& [key, value] : keys) {
      const Option* option = FindOption(key);
      const std::string where = "[" + section + "] " + key;
      if (!option || section != option->Section) {
        throw SettingsError(where + " is not a setting. Allowed:\n" + SettingsHelp());
      }
      option->Apply(settings, where, value);
    }
  }
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word == kIniOption) {
      ++i;  // read before the file
      continue;
    }
    const Option* option = word.rfind("--", 0) == 0 ? FindOption(word.substr(2)) : nullptr;
    if (!option) throw SettingsError(word + " is not an option. Allowed:\n" + SettingsHelp());
    if (option->Flag) {
      option->Apply(settings, word, "1");
      continue;
    }
    if (i + 1 >= arguments.size()) throw SettingsError(word + " needs a value: " + option->Allowed + ".");
    option->Apply(settings, word, arguments[++i]);
  }
  return settings;
}
