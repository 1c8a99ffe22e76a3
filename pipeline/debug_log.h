#pragma once
// The optional debug log: one entry per call, appended to a text file that is
// opened and closed for every entry. Callers decide whether the log is on.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace REZUZ2ARI {

// The log's file name; it names a file in the current working directory.
inline constexpr const char* kDebugLogFile = "xmlfile.log";
// The most a log file holds. An entry that would take it past this begins a
// new file, and the full one is kept as the log's name + ".old" (replacing
// an older one), so that a log left on for weeks takes at most twice this.
inline constexpr std::uint64_t kDebugLogMaxBytes = 10 * 1024 * 1024;
inline constexpr const char* kDebugLogOldSuffix = ".old";

// Raised when an entry cannot be written (a read-only folder, a full disk):
// the entry is lost, an existing log is never cut, and the caller reports it.
class DebugLogError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The bytes of one entry: "DES: " + des, then "MSG: " and msg on the next
// line, then the separator line; CR LF line ends.
std::string FormatDebugLogEntry(std::string_view des, std::string_view msg);

// Appends one entry to `path`, creating the file when it does not exist and
// beginning a new one when the entry would take it past kDebugLogMaxBytes.
void AppendDebugLogEntry(const std::string& path, std::string_view des, std::string_view msg);

// Appends one entry to "xmlfile.log".
void WriteDebugLog(std::string_view DES, std::string_view MSG);

}  // namespace REZUZ2ARI
