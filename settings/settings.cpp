#include "settings/settings.h"

#include <algorithm>
#include <charconv>
#include <functional>

#include "pipeline/single_byte_text.h"

namespace {

// One setting: its option on the command line is "--" + Key, its key in
// the file stands in Section.
struct Option {
  const char* Key;
  const char* Section;
  const char* Allowed;  // what the error message says is allowed
  const char* Default;  // as the file writes it; empty: none
  bool Flag;            // an option without value; in the file 0 or 1
  std::function<void(Settings&, const std::string& where, const std::string& value)> Apply;
  // Options that may be given again and again: each adds to a list, which
  // the command line's first one empties of the file's entries. In the file
  // the values stand in one line, separated by blanks.
  std::function<void(Settings&)> Clear = {};
  // The option on the command line when it is not "--" + Key.
  const char* CommandLine = nullptr;
};

std::string CommandLineName(const Option& option) {
  return std::string("--") + (option.CommandLine ? option.CommandLine : option.Key);
}

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

double Megahertz(const std::string& where, const std::string& text) {
  constexpr const char* kAllowed = "a frequency in MHz from 1 to 10000 such as 131.725";
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !(value >= 1 && value <= 10000)) {
    Refuse(where, text, kAllowed);
  }
  return value;
}

constexpr const char* kHttpAllowed = "[ADDRESS:]PORT such as 8221 or 0.0.0.0:8221, 0 for none (default 127.0.0.1:8221)";

// The status page's "[ADDRESS:]PORT"; a port alone listens on this PC only.
void ParseHttpListen(Settings& s, const std::string& where, const std::string& text) {
  const auto colon = text.rfind(':');
  const std::string address = colon == std::string::npos ? "127.0.0.1" : text.substr(0, colon);
  if (!IsIpv4Address(address)) Refuse(where, text, kHttpAllowed);
  try {
    s.HttpPort = Number(where, text.substr(colon == std::string::npos ? 0 : colon + 1), 0, 65535, kHttpAllowed);
  } catch (const SettingsError&) {
    Refuse(where, text, kHttpAllowed);  // naming the whole value
  }
  s.HttpAddress = address;
}

constexpr const char* kJsonOutAllowed = "udp:HOST:PORT, tcp:HOST:PORT, serve:PORT or serve:ADDRESS:PORT";
constexpr const char* kJsonInAllowed =
    "udp:PORT, udp:ADDRESS:PORT or tcp:HOST:PORT, each with ,source=N (0 to 3) after it if wanted";

// "kind:host:port" or "kind:port" (where the host may be left out).
Endpoint ParseEndpoint(const std::string& where, const std::string& text, bool input) {
  const char* allowed = input ? kJsonInAllowed : kJsonOutAllowed;
  Endpoint e;
  e.Text = text;
  std::string rest = text;
  if (input) {
    if (const auto comma = rest.find(','); comma != std::string::npos) {
      const std::string option = rest.substr(comma + 1);
      if (option.rfind("source=", 0) != 0) Refuse(where, text, allowed);
      e.Source = Number(where, option.substr(7), 0, 3, allowed);
      rest = rest.substr(0, comma);
    }
  }
  const auto colon = rest.find(':');
  if (colon == std::string::npos) Refuse(where, text, allowed);
  const std::string kind = rest.substr(0, colon);
  rest = rest.substr(colon + 1);
  bool hostMayBeOmitted = false;
  if (kind == "udp") {
    e.Type = Endpoint::Kind::Udp;
    hostMayBeOmitted = input;
  } else if (kind == "tcp") {
    e.Type = Endpoint::Kind::Tcp;
  } else if (kind == "serve" && !input) {
    e.Type = Endpoint::Kind::Serve;
    hostMayBeOmitted = true;
  } else {
    Refuse(where, text, allowed);
  }
  const auto last = rest.rfind(':');
  if (last == std::string::npos) {
    if (!hostMayBeOmitted) Refuse(where, text, allowed);
    e.Port = Number(where, rest, 1, 65535, allowed);
    return e;
  }
  e.Host = rest.substr(0, last);
  if (e.Host.empty() || e.Host.find(' ') != std::string::npos) Refuse(where, text, allowed);
  // Where the program listens, the host is an address of this PC.
  if (hostMayBeOmitted && !IsIpv4Address(e.Host)) Refuse(where, text, allowed);
  e.Port = Number(where, rest.substr(last + 1), 1, 65535, allowed);
  return e;
}

bool FlagValue(const std::string& where, const std::string& text) {
  if (text == "1") return true;
  if (text == "0") return false;
  Refuse(where, text, "0 or 1");
}

const std::vector<Option>& Options() {
  static const std::vector<Option> options = {
      {"port", "server", "a whole number from 1 to 65535 (default 2201)", "2201", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         s.Port = Number(w, v, 1, 65535, "a whole number from 1 to 65535 (default 2201)");
       }},
      {"bind", "server", "an IPv4 address of this PC such as 127.0.0.1 (default: every interface)", "", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         if (!IsIpv4Address(v)) Refuse(w, v, "an IPv4 address of this PC such as 127.0.0.1 (default: every interface)");
         s.Bind = v == "0.0.0.0" ? "" : v;
       }},
      {"max-clients", "server", "a whole number from 1 to 64 (default 1)", "1", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         s.MaxClients = Number(w, v, 1, 64, "a whole number from 1 to 64 (default 1)");
       }},
      {"debug-log", "window", "0 or 1 (default 0)", "0", true,
       [](Settings& s, const std::string& w, const std::string& v) { s.DebugLog = FlagValue(w, v); }},
      {"minimized", "window", "0 or 1 (default 0)", "0", true,
       [](Settings& s, const std::string& w, const std::string& v) { s.Minimized = FlagValue(w, v); }},
      {"relink-seconds", "decoders", "a whole number from 0 (never) to 3600 (default 5)", "5", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         s.RelinkSeconds = Number(w, v, 0, 3600, "a whole number from 0 (never) to 3600 (default 5)");
       }},
      {"silence-minutes", "decoders", "a whole number from 0 (never) to 10080 (default 30)", "30", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         s.SilenceMinutes = Number(w, v, 0, 10080, "a whole number from 0 (never) to 10080 (default 30)");
       }},
      {"dedup-seconds", "decoders", "a whole number from 0 (off) to 3600 (default 0)", "0", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         s.DedupSeconds = Number(w, v, 0, 3600, "a whole number from 0 (off) to 3600 (default 0)");
       }},
      {"json-out", "json", kJsonOutAllowed, "", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         for (const std::string& word : Words(v)) s.JsonOut.push_back(ParseEndpoint(w, word, false));
         if (Words(v).empty()) Refuse(w, v, kJsonOutAllowed);
       },
       [](Settings& s) { s.JsonOut.clear(); }},
      {"json-in", "json", kJsonInAllowed, "", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         for (const std::string& word : Words(v)) s.JsonIn.push_back(ParseEndpoint(w, word, true));
         if (Words(v).empty()) Refuse(w, v, kJsonInAllowed);
       },
       [](Settings& s) { s.JsonIn.clear(); }},
      {"station-id", "json", "a name of 1 to 64 characters without blanks (default: none)", "", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         // The id goes out as the program's single-byte text: a character
         // that Windows-1252 lacks cannot be kept.
         const std::string id = Utf8ToSingleByte(v);
         if (id.empty() || id.size() > 64 || id.find_first_of(" \t") != std::string::npos ||
             SingleByteToUtf8(id) != v) {
           Refuse(w, v, "a name of 1 to 64 characters without blanks (default: none)");
         }
         s.StationId = id;
       }},
      {"freq", "json", "a frequency in MHz from 1 to 10000 such as 131.725 (default: not set, sent as 0)", "", false,
       [](Settings& s, const std::string& w, const std::string& v) { s.Freq = Megahertz(w, v); }},
      {"freq-skyspy", "json", "a frequency in MHz (default: freq)", "", false,
       [](Settings& s, const std::string& w, const std::string& v) { s.DecoderFreq[0] = Megahertz(w, v); }},
      {"freq-winacars", "json", "a frequency in MHz (default: freq)", "", false,
       [](Settings& s, const std::string& w, const std::string& v) { s.DecoderFreq[1] = Megahertz(w, v); }},
      {"freq-anad", "json", "a frequency in MHz (default: freq)", "", false,
       [](Settings& s, const std::string& w, const std::string& v) { s.DecoderFreq[2] = Megahertz(w, v); }},
      {"freq-posfix", "json", "a frequency in MHz (default: freq)", "", false,
       [](Settings& s, const std::string& w, const std::string& v) { s.DecoderFreq[3] = Megahertz(w, v); }},
      {"json-source", "json", "0, 1, 2 or 3 (default 3)", "3", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         s.JsonSource = Number(w, v, 0, 3, "0, 1, 2 or 3 (default 3)");
       }},
      {"capture", "capture", "a folder, such as C:\\ACARS\\capture (default: no capture)", "", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         if (v.empty() || v.find_first_not_of(" \t") == std::string::npos) {
           Refuse(w, v, "a folder, such as C:\\ACARS\\capture (default: no capture)");
         }
         s.Capture = v;
       }},
      {"capture-days", "capture", "a whole number from 1 to 3650 (default 7)", "7", false,
       [](Settings& s, const std::string& w, const std::string& v) {
         s.CaptureDays = Number(w, v, 1, 3650, "a whole number from 1 to 3650 (default 7)");
       }},
      {"listen", "http", kHttpAllowed, "127.0.0.1:8221", false, ParseHttpListen, {}, "http"},
  };
  return options;
}

const Option* FindOption(const std::string& key) {
  for (const Option& option : Options()) {
    if (key == option.Key) return &option;
  }
  return nullptr;
}

// The option a word of the command line names, if any.
const Option* FindCommandLineOption(const std::string& word) {
  for (const Option& option : Options()) {
    if (word == CommandLineName(option)) return &option;
  }
  return nullptr;
}

}  // namespace

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  const auto last = text.find_last_not_of(" \t\r");
  return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// The blank-separated words of a value: the endpoints of --json-out and
// --json-in.
std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while ((at = text.find_first_not_of(" \t", at)) != std::string::npos) {
    const auto end = text.find_first_of(" \t", at);
    words.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
    at = end;
  }
  return words;
}

std::vector<SettingKey> SettingKeys() {
  std::vector<SettingKey> keys;
  for (const Option& option : Options()) keys.push_back({option.Section, option.Key, option.Default});
  return keys;
}

std::string CheckSetting(const std::string& key, const std::string& value, const std::string& where) {
  const Option* option = FindOption(key);
  if (!option) return where + " is not a setting.";
  Settings scratch;
  try {
    option->Apply(scratch, where, value);
  } catch (const SettingsError& e) {
    return e.what();
  }
  return "";
}

std::vector<std::string> OverriddenKeys(const std::vector<std::string>& arguments) {
  std::vector<std::string> keys;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == kIniOption) {
      ++i;
      continue;
    }
    const Option* option = FindCommandLineOption(arguments[i]);
    if (!option) continue;
    if (!option->Flag) ++i;
    if (std::find(keys.begin(), keys.end(), option->Key) == keys.end()) keys.push_back(option->Key);
  }
  return keys;
}

std::string SettingsHelp() {
  std::string help =
      std::string(kIniOption) + " PATH: the settings file (default " + kSettingsFileName + " beside the program)\n";
  for (const Option& option : Options()) {
    help += CommandLineName(option) + (option.Flag ? "" : " VALUE") + " ([" + option.Section + "] " + option.Key +
            "): " + option.Allowed + "\n";
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
  std::vector<const Option*> repeated;  // lists the command line has begun
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word == kIniOption) {
      ++i;  // read before the file
      continue;
    }
    const Option* option = FindCommandLineOption(word);
    if (!option) throw SettingsError(word + " is not an option. Allowed:\n" + SettingsHelp());
    if (option->Flag) {
      option->Apply(settings, word, "1");
      continue;
    }
    if (i + 1 >= arguments.size()) throw SettingsError(word + " needs a value: " + option->Allowed + ".");
    if (option->Clear && std::find(repeated.begin(), repeated.end(), option) == repeated.end()) {
      option->Clear(settings);
      repeated.push_back(option);
    }
    option->Apply(settings, word, arguments[++i]);
  }
  return settings;
}
