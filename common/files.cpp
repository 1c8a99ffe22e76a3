#include "common/files.h"

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

bool AppendFile::Open(const std::string& path) {
  mFile.reset(OpenForAppend(path));
  return IsOpen();
}

bool AppendFile::Write(std::string_view bytes) {
  return mFile && std::fwrite(bytes.data(), 1, bytes.size(), mFile.get()) == bytes.size();
}

bool AppendFile::Flush() {
  return mFile && std::fflush(mFile.get()) == 0 && !std::ferror(mFile.get());
}

}  // namespace files
