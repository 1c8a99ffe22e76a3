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
  for (const wchar_t* name : {L"plain", L"\u03a3\u03c4\u03b1\u03b8\u03bc\u03cc\u03c2", L"\u0141\u00f3d\u017a"}) {
    const std::filesystem::path folder = dir_ / name;
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(BuiltProgram(), folder / "TolvanDDE.exe");
    const int feed = FreeTcpPort();
    std::ofstream(folder / "TolvanDDE.ini", std::ios::binary)
        << "[server]\r\nport=" << FreeTcpPort() << "\r\n[json]\r\njson-in=udp:127.0.0.1:" << feed
        << "\r\n[capture]\r\ncapture=cap\r\n";

    std::wstring command = L"\"" + (folder / "TolvanDDE.exe").wstring() + L"\" --minimized";
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
          return HasFile(folder / "cap");
        },
        15000);
    closesocket(udp);
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 5000);
    EXPECT_TRUE(captured) << Utf8FromWide(name);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "cap")) << Utf8FromWide(name);  // not in the working folder
  }
}
