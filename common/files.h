#pragma once
// The few file operations the settings and the capture need, without the
// standard library's streams and filesystem: on Windows those bring a
// megabyte of locale code into the program and half a megabyte more into
// its resident memory, for a tray utility that otherwise needs neither.
// Paths are UTF-8, so that a folder may have any name; the Windows
// implementation (win32/files_win32.cpp) converts them for the system's wide
// functions, the native one (common/files_posix.cpp) uses them as they are.

#include <cstddef>
#include <cstdint>
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

// A file that grows at its end, closed with the object. Nothing is
// buffered: what Append reports written is in the file.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile() { Close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens `path`, made when missing, for appending.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return mHandle != kNone; }

  // Appends whole lines: `lines` is one or more lines, each ending in "\n".
  // A file that ends in a half line (cut off by a power cut) gets a line end
  // first, so that the next line starts on a line of its own. After a short
  // write (a full disk) what reached the file of the first line that did not
  // fit is cut off again. Returns how many of the lines are in the file,
  // whole.
  std::size_t AppendLines(std::string_view lines);

 private:
  static constexpr std::intptr_t kNone = -1;

  // The platform's part: the size, the last byte (nothing when empty or
  // unreadable), an append of all bytes (false when not all reached the
  // file), a cut to `size` bytes.
  std::optional<std::uint64_t> Size() const;
  std::optional<char> LastByte() const;
  bool Append(std::string_view bytes);
  bool Truncate(std::uint64_t size);

  std::intptr_t mHandle = kNone;  // a file descriptor, or a HANDLE
};

}  // namespace files
