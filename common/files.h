#pragma once
// The few file operations the settings and the capture need, without the
// standard library's streams and filesystem: on Windows those bring a
// megabyte of locale code into the program and half a megabyte more into
// its resident memory, for a tray utility that otherwise needs neither.
// Paths are UTF-8, so that a folder may have any name; the Windows
// implementation (win32/files_win32.cpp) converts them for the system's wide
// functions, the native one (common/files_posix.cpp) uses them as they are.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace files {

// `folder` and `name` with one separator between them.
std::string Join(const std::string& folder, const std::string& name);
// The folder part of `path` ("" when it has none).
std::string Parent(const std::string& path);
// Creates the folder and the folders above it; true when it exists afterwards.
bool MakeFolders(const std::string& folder);
// The names of the plain files in `folder`; empty when it cannot be read.
std::vector<std::string> FileNames(const std::string& folder);
bool Remove(const std::string& path);
// The whole file; nothing when it cannot be read.
std::optional<std::string> ReadAll(const std::string& path);

// A file opened for appending, closed with the object.
class AppendFile {
 public:
  bool Open(const std::string& path);
  void Close() { mFile.reset(); }
  bool IsOpen() const { return mFile != nullptr; }
  // Writes all of `bytes` into the file's buffer; false on an error.
  bool Write(std::string_view bytes);
  // Hands the buffer to the system; false on an error (a full disk).
  bool Flush();

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> mFile;
};

// Opens `path` for appending in binary mode (the platform's part).
std::FILE* OpenForAppend(const std::string& path);

}  // namespace files
