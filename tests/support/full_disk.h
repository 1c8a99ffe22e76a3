#pragma once
// The small disk that scripts/with-full-disk mounts for a test run (as
// root), as this program reaches it: under Windows (Wine) through Z:.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

// A folder of the test's own on the small disk, made empty; nothing when no
// small disk was given.
inline std::optional<std::filesystem::path> FullDiskFolder(const std::string& name) {
  const char* disk = std::getenv("BRIDGE_FULL_DISK");
  if (!disk || !*disk) return std::nullopt;
#ifdef _WIN32
  std::string path = std::string("Z:") + disk;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
#else
  const std::string path = disk;
#endif
  const std::filesystem::path folder = std::filesystem::path(path) / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}
