#pragma once
// Runs each test in a fresh working directory of its own, for code that
// writes to the current directory (the debug log).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class InTempWorkingDir : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    dir_ = std::filesystem::temp_directory_path() /
           ("bridge-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  // Writes a decoder feed (each text, then a "%%" line) into the folder;
  // returns its path, quoted for a command line.
  std::wstring WriteFeed(const std::vector<std::string>& texts) const {
    const auto feed = dir_ / "test.feed";
    std::ofstream out(feed, std::ios::binary);
    for (const auto& t : texts) out << t << "%%\r\n";
    return L"\"" + feed.wstring() + L"\"";
  }
  static std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::filesystem::path previous_, dir_;
};
