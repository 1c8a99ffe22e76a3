#pragma once
// The program's settings: the settings file (TolvanDDE.ini beside the
// program, or the one --ini names), then the command line, which overrides
// the file for that run. Every value is checked when the program starts: a
// bad value, an unknown option or key is an error that names it and says
// what is allowed, never a silent default.
// No platform header: parsed and tested natively; reading the file is the
// caller's (the system's profile functions).

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// One place JSON goes to or comes from, as --json-out and --json-in name it.
struct Endpoint {
  enum class Kind { Udp, Tcp, Serve };
  Kind Type = Kind::Udp;
  std::string Host;  // empty: every interface of this PC
  std::int32_t Port = 0;
  std::optional<std::int32_t> Source;  // inputs: the header's source number, when given
  std::string Text;                    // as the user wrote it, for the window and the log

  bool operator==(const Endpoint&) const = default;
};

struct Settings {
  std::int32_t Port = 2201;          // the client port
  std::string Bind;                  // the address it listens on; empty: every interface
  std::int32_t MaxClients = 1;       // clients served at once
  bool DebugLog = false;             // start with the debug log on
  bool Minimized = false;            // start hidden in the tray
  std::int32_t RelinkSeconds = 5;    // retry unlinked decoders this often; 0: never
  std::int32_t SilenceMinutes = 30;  // report a linked decoder silent this long; 0: never
  std::int32_t DedupSeconds = 0;     // a message equal to one forwarded this recently is not forwarded; 0: off
  std::vector<Endpoint> JsonOut;     // where every message also goes as a JSON line
  std::vector<Endpoint> JsonIn;      // JSON feeds whose messages are forwarded too
  std::optional<std::string> StationId;
  double Freq = 0;                      // MHz, for every decoder; 0: not set
  std::array<double, 4> DecoderFreq{};  // MHz for SkySpy, WinACARS, ANAD, POSFIX; 0: Freq
  std::int32_t JsonSource = 3;          // the header's source number for JSON inputs
  std::string Capture;                  // the folder every text and object is captured in; empty: none
  std::int32_t CaptureDays = 7;         // the days of capture files kept, today among them

  // The status page: where it listens, and its port (0: no status page).
  std::string HttpAddress = "127.0.0.1";
  std::int32_t HttpPort = 8221;
};

class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A settings file as read: section, then key, then value.
using SettingsFile = std::map<std::string, std::map<std::string, std::string>>;

// The settings file's name beside the program, and the option that names
// another one.
inline constexpr const char* kSettingsFileName = "TolvanDDE.ini";
inline constexpr const char* kIniOption = "--ini";
// The key of the capture folder, the one setting that names a path.
inline constexpr const char* kCaptureOption = "capture";

// The path --ini gives, if any. `arguments` are without the program's name.
std::optional<std::string> IniPathOption(const std::vector<std::string>& arguments);

// The file's settings, overridden by the command line's.
Settings ParseSettings(const std::vector<std::string>& arguments, const SettingsFile& file = {});

// One key of the settings file: its section, and its default as the file
// would write it (empty: none, and the key is left out).
struct SettingKey {
  std::string Section;
  std::string Key;
  std::string Default;
};

// Every key of the file, in the order of the options.
std::vector<SettingKey> SettingKeys();

// The message that refuses `value` for `key`, naming it `where`, exactly as
// the command line and the file get it; empty when the value is allowed.
std::string CheckSetting(const std::string& key, const std::string& value, const std::string& where);

// The keys the command line sets (and so overrides in the file) for this
// run, each once, in the order given.
std::vector<std::string> OverriddenKeys(const std::vector<std::string>& arguments);

// `text` without the blanks (spaces, tabs, a CR) at its ends.
std::string Trim(const std::string& text);

// The blank-separated words of a value: the endpoints a JSON list holds.
std::vector<std::string> Words(const std::string& text);

// Every option with what it allows and its default, one line each, for the
// error message and the documentation.
std::string SettingsHelp();
