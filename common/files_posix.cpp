// The file operations of common/files.h on a POSIX system (the native build).

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/files.h"

namespace files {

namespace {

bool IsFolder(const std::string& path) {
  struct stat s {};
  return ::stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

}  // namespace

bool MakeFolders(const std::string& folder) {
  if (folder.empty() || IsFolder(folder)) return true;
  const std::string parent = Parent(folder);
  if (!parent.empty() && parent != folder && !MakeFolders(parent)) return false;
  return ::mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST;
}

std::vector<std::string> FileNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    struct stat s {};
    if (::stat(Join(folder, name).c_str(), &s) == 0 && S_ISREG(s.st_mode)) names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

bool Remove(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

std::optional<std::string> ReadAll(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return std::nullopt;
  std::string text;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return std::nullopt;
  return text;
}

bool AppendFile::Open(const std::string& path) {
  Close();
  mHandle = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  return IsOpen();
}

void AppendFile::Close() {
  if (IsOpen()) ::close(static_cast<int>(mHandle));
  mHandle = kNone;
}

std::optional<std::uint64_t> AppendFile::Size() const {
  struct stat s {};
  if (!IsOpen() || ::fstat(static_cast<int>(mHandle), &s) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(s.st_size);
}

std::optional<char> AppendFile::LastByte() const {
  const auto size = Size();
  char last = 0;
  if (!size || *size == 0 || ::pread(static_cast<int>(mHandle), &last, 1, static_cast<off_t>(*size - 1)) != 1) {
    return std::nullopt;
  }
  return last;
}

bool AppendFile::Append(std::string_view bytes) {
  while (IsOpen() && !bytes.empty()) {
    const ssize_t n = ::write(static_cast<int>(mHandle), bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return bytes.empty();
}

bool AppendFile::Truncate(std::uint64_t size) {
  return IsOpen() && ::ftruncate(static_cast<int>(mHandle), static_cast<off_t>(size)) == 0;
}

}  // namespace files
