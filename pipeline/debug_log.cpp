#include "pipeline/debug_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace REZUZ2ARI {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kSeparator = "***-------------------------------------------------***";

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

[[noreturn]] void Fail(const std::string& path, const char* what, int error) {
  throw DebugLogError("Cannot " + std::string(what) + " the debug log \"" + path + "\": " + std::strerror(error));
}

// The size of an open file; one too large to tell counts as past any limit.
std::uint64_t SizeOf(std::FILE* file) {
  const long size = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
  return size >= 0 ? static_cast<std::uint64_t>(size) : UINT64_MAX;
}

// Opens `path` for appending; when `adding` bytes would take it past the
// limit, the full file is first kept under the older name and a new one
// begins. A full file that cannot be put aside is appended to all the same:
// an entry is worth more than the bound.
std::FILE* OpenForEntry(const std::string& path, std::size_t adding) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) return nullptr;
  const std::uint64_t size = SizeOf(file);
  if (size == 0 || size + adding <= kDebugLogMaxBytes) return file;
  std::fclose(file);
  const std::string older = path + kDebugLogOldSuffix;
  std::remove(older.c_str());
  std::rename(path.c_str(), older.c_str());
  return std::fopen(path.c_str(), "ab");
}

}  // namespace

std::string FormatDebugLogEntry(std::string_view des, std::string_view msg) {
  std::string entry;
  entry.reserve(des.size() + msg.size() + kSeparator.size() + 24);
  // Each part is written as a line of its own: the text, then the line end.
  entry.append("DES: ").append(des).append(kLineEnd).append(kLineEnd);
  entry.append("MSG: ").append(kLineEnd).append(msg).append(kLineEnd);
  entry.append(kSeparator).append(kLineEnd);
  return entry;
}

void AppendDebugLogEntry(const std::string& path, std::string_view des, std::string_view msg) {
  const std::string entry = FormatDebugLogEntry(des, msg);
  // Append mode creates a missing file and never truncates an existing one;
  // binary mode keeps the CR LF line ends byte for byte.
  std::unique_ptr<std::FILE, FileCloser> file(OpenForEntry(path, entry.size()));
  if (!file) Fail(path, "open", errno);
  const bool written = std::fwrite(entry.data(), 1, entry.size(), file.get()) == entry.size();
  const int writeError = errno;
  if (std::fclose(file.release()) != 0 || !written) Fail(path, "write to", written ? errno : writeError);
}

void WriteDebugLog(std::string_view DES, std::string_view MSG) {
  AppendDebugLogEntry(kDebugLogFile, DES, MSG);
}

}  // namespace REZUZ2ARI
