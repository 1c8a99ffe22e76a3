// Start with Windows: the Run value written, removed, and read back whoever
// changed it.

#include "settings/start_with_windows.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

namespace {

// The Run value as the registry holds it, read without the component.
std::optional<std::wstring> RunValue() {
  wchar_t data[1024] = {};
  DWORD size = sizeof data;
  DWORD type = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, RRF_RT_REG_SZ, &type, data, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(data);
}

class StartWithWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName); }
  void TearDown() override { RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName); }
};

}  // namespace

TEST_F(StartWithWindowsTest, TheCommandIsTheQuotedPathAndMinimized) {
  EXPECT_EQ(StartCommand(L"C:\\Program Files\\TolvanDDE\\TolvanDDE.exe"),
            L"\"C:\\Program Files\\TolvanDDE\\TolvanDDE.exe\" --minimized");
  EXPECT_EQ(ThisProgram().substr(ThisProgram().size() - 17), L"options_tests.exe");
}

TEST_F(StartWithWindowsTest, TheValueIsSetAndClearedTwiceInARow) {
  EXPECT_FALSE(StartsWithWindows());
  SetStartWithWindows(true, L"C:\\Tools\\TolvanDDE.exe");
  SetStartWithWindows(true, L"C:\\Tools\\TolvanDDE.exe");
  EXPECT_EQ(RunValue(), L"\"C:\\Tools\\TolvanDDE.exe\" --minimized");
  EXPECT_TRUE(StartsWithWindows());
  SetStartWithWindows(false);
  SetStartWithWindows(false);  // already gone: no error
  EXPECT_EQ(RunValue(), std::nullopt);
  EXPECT_FALSE(StartsWithWindows());
}

TEST_F(StartWithWindowsTest, AValueWrittenElsewhereIsShown) {
  const std::wstring command = L"\"D:\\Other\\TolvanDDE.exe\" --minimized";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, REG_SZ, command.c_str(),
                            static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  EXPECT_TRUE(StartsWithWindows());
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName);
  EXPECT_FALSE(StartsWithWindows());
}
