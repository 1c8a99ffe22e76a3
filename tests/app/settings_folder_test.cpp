// The program started from a folder of any name, from another working
// folder (as Start with Windows starts it, in the logon folder): it reads the
// settings file beside itself, and a relative path in it is in that folder.

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/program_fixture.h"
#include "support/temp_working_dir.h"
#include "win32/wide_text.h"

namespace {

const auto* const kWinsock = ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);

using SettingsFolderTest = InTempWorkingDir;

std::filesystem::path BuiltProgram() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path().parent_path() / "app" / "TolvanDDE.exe";
}

bool HasFile(const std::filesystem::path& folder) {
  std::error_code error;
  return std::filesystem::is_directory(folder, error) && !std::filesystem::is_empty(folder, error);
}

}  // namespace

TEST_F(SettingsFolderTest, TheFileBesideTheProgramIsReadWhateverItsFolderIsCalledAndItsPathsAreThere) {
  struct Case {
    const wchar_t* Folder;     // the program's, with its settings file
    const wchar_t* Arguments;  // after --minimized
    bool InWorkingFolder;      // where "cap" is: the working folder, or the program's
  };
  const Case cases[] = {
      {L"plain", L"", false},
      {L"\u03a3\u03c4\u03b1\u03b8\u03bc\u03cc\u03c2", L"", false},  // Σταθμός
      {L"\u0141\u00f3d\u017a", L"", false},                         // Łódź
      {L"given", L" --capture cap", true},  // a path on the command line is from where it was given
  };
  for (const Case& c : cases) {
    const wchar_t* name = c.Folder;
    const std::filesystem::path folder = dir_ / name;
    const std::filesystem::path capture = (c.InWorkingFolder ? dir_ : folder) / "cap";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(BuiltProgram(), folder / "TolvanDDE.exe");
    const int feed = FreeTcpPort();
    std::ofstream(folder / "TolvanDDE.ini", std::ios::binary)
        << "[server]\r\nport=" << FreeTcpPort() << "\r\n[json]\r\njson-in=udp:127.0.0.1:" << feed
        << "\r\n[capture]\r\ncapture=" << (c.InWorkingFolder ? "elsewhere" : "cap") << "\r\n";

    std::wstring command = L"\"" + (folder / "TolvanDDE.exe").wstring() + L"\" --minimized" + c.Arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir_.wstring().c_str(),
                               &startup, &process));
    const UniqueKernelHandle owner(process.hProcess), thread(process.hThread);
    // A JSON message to its input, again and again until it is captured.
    const SOCKET udp = UdpSocket(0);
    const sockaddr_in to = Loopback(feed);
    const std::string message = R"({"mode":"2","label":"H1","text":"FOLDER"})"
                                "\n";
    const bool captured = PumpUntil(
        [&] {
          sendto(udp, message.data(), static_cast<int>(message.size()), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
          PumpFor(100);
          return HasFile(capture);
        },
        15000);
    closesocket(udp);
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 5000);
    EXPECT_TRUE(captured) << Utf8FromWide(name);
    EXPECT_FALSE(std::filesystem::exists((c.InWorkingFolder ? folder : dir_) / "cap")) << Utf8FromWide(name);
    std::filesystem::remove_all(capture);
  }
}
