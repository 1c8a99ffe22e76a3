#include "common/files.h"

#include <algorithm>

namespace files {

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  return last == '/' || last == '\\' ? folder + name : folder + "/" + name;
}

std::string Parent(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::size_t AppendFile::AppendLines(std::string_view lines) {
  const auto before = Size();
  if (!before) return 0;
  std::string text;
  if (*before > 0 && LastByte() != '\n') text = "\n";
  const std::size_t fresh = text.size();
  text += lines;
  if (Append(text)) return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n'));
  // What reached the file is told by its size, whatever the system said of
  // the write; it keeps the lines that are whole.
  const auto after = Size();
  const std::size_t reached =
      after && *after > *before ? static_cast<std::size_t>(std::min<std::uint64_t>(*after - *before, text.size())) : 0;
  const std::size_t lastEnd = reached == 0 ? std::string::npos : text.rfind('\n', reached - 1);
  const std::size_t whole = lastEnd == std::string::npos ? 0 : lastEnd + 1;
  // Should the cut fail, the half line stays, and the next call ends it.
  if (whole < reached) Truncate(*before + whole);
  return whole <= fresh ? 0 : static_cast<std::size_t>(std::count(text.begin() + fresh, text.begin() + whole, '\n'));
}

}  // namespace files
