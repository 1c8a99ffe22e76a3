// The settings file as the system's profile functions read it, and the
// program's answer to a bad one.

#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/program_fixture.h"
#include "support/temp_working_dir.h"

namespace {

using SettingsFileTest = InTempWorkingDir;

void Write(const char* name, const std::string& text) {
  std::ofstream(name, std::ios::binary) << text;
}

}  // namespace

TEST_F(SettingsFileTest, SectionsKeysAndCommentsAreRead) {
  Write("a.ini",
        "; a comment\r\n[server]\r\nport = 2401\r\n;bind=1.2.3.4\r\nmax-clients=4\r\n\r\n[window]\r\n"
        "debug-log=1\r\n");
  const SettingsFile file = ReadSettingsFile("a.ini", true);
  ASSERT_EQ(file.count("server"), 1u);
  EXPECT_EQ(file.at("server").at("port"), "2401");
  EXPECT_EQ(file.at("server").count("bind"), 0u);
  const Settings s = LoadSettings({"--ini", "a.ini", "--max-clients", "2"});
  EXPECT_EQ(s.Port, 2401);
  EXPECT_EQ(s.MaxClients, 2);
  EXPECT_TRUE(s.DebugLog);
}

TEST_F(SettingsFileTest, TheShippedExampleChangesNothing) {
  const SettingsFile file = ReadSettingsFile(BRIDGE_EXAMPLE_INI, true);
  const Settings s = ParseSettings({}, file);
  EXPECT_EQ(s.Port, 2201);  // the default
  EXPECT_EQ(s.MaxClients, 1);
  EXPECT_EQ(s.RelinkSeconds, 5);
}

TEST_F(SettingsFileTest, AMissingNamedFileOrABadKeyStopsTheProgramWithAMessage) {
  EXPECT_THROW(ReadSettingsFile("missing.ini", true), SettingsError);
  EXPECT_TRUE(ReadSettingsFile("missing.ini", false).empty());
  std::filesystem::create_directory("folder.ini");
  EXPECT_THROW(ReadSettingsFile("folder.ini", true), SettingsError);

  Write("bad.ini", "[server]\r\nmax-clients=100\r\n");
  ChildProcess program(L"app\\TolvanDDE.exe", L"--ini \"" + (dir_ / "bad.ini").wstring() + L"\"");
  HWND box = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (box = FindMessageBox(program.Id())) != nullptr; }, 20000));
  EXPECT_EQ(MessageBoxText(box), "[server] max-clients 100: a whole number from 1 to 64 (default 1) is allowed.");
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(program.Wait(20000), 2);
}
