// The file operations of common/files.h on a POSIX system (the native build).

#include <dirent.h>
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

std::FILE* OpenForAppend(const std::string& path) {
  return std::fopen(path.c_str(), "ab");
}

}  // namespace files
