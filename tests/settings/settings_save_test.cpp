// The settings file written as the Options dialog writes it, and where it
// lives.

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>

#include "settings/settings_file.h"
#include "support/full_disk.h"
#include "support/temp_working_dir.h"

namespace {

using SettingsSaveTest = InTempWorkingDir;

void Write(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Sets an environment variable for one test.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    char old[MAX_PATH] = {};
    had_ = GetEnvironmentVariableA(name, old, MAX_PATH) > 0;
    old_ = old;
    SetEnvironmentVariableA(name, value.c_str());
  }
  ~ScopedEnvironment() { SetEnvironmentVariableA(name_, had_ ? old_.c_str() : nullptr); }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

std::filesystem::path BesideThisProgram() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path() / "TolvanDDE.ini";
}

}  // namespace

TEST_F(SettingsSaveTest, TheFileIsReplacedWithTheNewValuesAndItsCommentsKept) {
  Write("a.ini", "; mine\r\n[server]\r\n;port=2201\r\nmax-clients=2\r\n");
  SaveSettingsFile((dir_ / "a.ini").string(), {{"server", {{"port", "2402"}, {"max-clients", "3"}}}});
  EXPECT_EQ(ReadFile("a.ini"), "; mine\r\n[server]\r\n;port=2201\r\nport=2402\r\nmax-clients=3\r\n");
  EXPECT_FALSE(std::filesystem::exists("a.ini.new"));
  const Settings s = LoadSettings({"--ini", "a.ini"});
  EXPECT_EQ(s.Port, 2402);
  EXPECT_EQ(s.MaxClients, 3);
}

TEST_F(SettingsSaveTest, AMissingFileAndItsFolderAreCreated) {
  const auto path = dir_ / "TolvanDDE" / "TolvanDDE.ini";
  SaveSettingsFile(path.string(), {{"window", {{"minimized", "1"}}}});
  EXPECT_EQ(ReadFile(path), "[window]\r\nminimized=1\r\n");
}

TEST_F(SettingsSaveTest, AFileThatCannotBeReplacedStaysAsItWasAndTheErrorSaysWhich) {
  // A folder where the file should be: the rename is refused.
  std::filesystem::create_directory("taken.ini");
  try {
    SaveSettingsFile((dir_ / "taken.ini").string(), {{"server", {{"port", "2402"}}}});
    FAIL() << "no error";
  } catch (const SettingsError& e) {
    EXPECT_NE(std::string(e.what()).find("taken.ini cannot be written: "), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(" (error "), std::string::npos) << e.what();
  }
  EXPECT_TRUE(std::filesystem::is_directory("taken.ini"));
  EXPECT_FALSE(std::filesystem::exists("taken.ini.new"));
}

TEST_F(SettingsSaveTest, TheFileIsTheNamedOneThenTheOneBesideTheProgramThenTheOneInAppData) {
  const ScopedEnvironment appData("APPDATA", dir_.string());
  ASSERT_FALSE(std::filesystem::exists(BesideThisProgram()));
  EXPECT_EQ(SettingsFilePath({"--ini", "b.ini"}), (dir_ / "b.ini").string());
  EXPECT_EQ(SettingsFilePath({}), (dir_ / "TolvanDDE" / "TolvanDDE.ini").string());
  // The file in AppData is read when there is none beside the program.
  std::filesystem::create_directory("TolvanDDE");
  Write(dir_ / "TolvanDDE" / "TolvanDDE.ini", "[decoders]\r\nrelink-seconds=9\r\n");
  EXPECT_EQ(LoadSettings({}).RelinkSeconds, 9);

  Write(BesideThisProgram(), "[decoders]\r\nrelink-seconds=8\r\n");
  EXPECT_EQ(SettingsFilePath({}), BesideThisProgram().string());
  EXPECT_EQ(LoadSettings({}).RelinkSeconds, 8);
  std::filesystem::remove(BesideThisProgram());
}

// Needs a small disk: scripts/with-full-disk (as root) mounts one; skipped
// without it.
TEST_F(SettingsSaveTest, ASaveOnAFullDiskSaysWhatTheSystemSaysAndLeavesTheFileAsItWas) {
  const auto disk = FullDiskFolder("settings-test");
  if (!disk) GTEST_SKIP() << "no small disk given (scripts/with-full-disk)";
  const std::filesystem::path folder = *disk;
  const std::filesystem::path path = folder / "full.ini";
  // The file takes what is left of the disk; the new text needs more.
  const std::string before = "[server]\r\nport=2402\r\n;" + std::string(4000, 'x') + "\r\n";
  Write(path, before);
  ASSERT_EQ(ReadFile(path), before);
  std::string filler(4096, 'f');
  for (int i = 0; i < 64; ++i) Write(folder / ("filler" + std::to_string(i)), filler);
  try {
    SaveSettingsFile(path.string(), {{"server", {{"port", "2403"}}}});
    FAIL() << "no error";
  } catch (const SettingsError& e) {
    EXPECT_NE(std::string(e.what()).find("full.ini cannot be written: "), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(" (error 112)"), std::string::npos) << e.what();  // ERROR_DISK_FULL
  }
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_FALSE(std::filesystem::exists(path.string() + ".new"));
  std::filesystem::remove_all(folder);  // the disk's room for the other tests
}
