#include "settings/settings_location.h"

#include <gtest/gtest.h>

TEST(SettingsLocation, TheNamedFileThenTheOneBesideTheProgramThenTheUsersOwn) {
  const std::string beside = "C:\\Tools\\TolvanDDE.ini";
  const std::string appData = "C:\\Users\\me\\AppData\\Roaming";
  EXPECT_EQ(ChooseSettingsPath(std::string("D:\\my.ini"), beside, true, appData), "D:\\my.ini");
  EXPECT_EQ(ChooseSettingsPath(std::nullopt, beside, true, appData), beside);
  EXPECT_EQ(ChooseSettingsPath(std::nullopt, beside, false, appData),
            "C:\\Users\\me\\AppData\\Roaming\\TolvanDDE\\TolvanDDE.ini");
  EXPECT_EQ(ChooseSettingsPath(std::nullopt, beside, false, appData + "\\"),
            "C:\\Users\\me\\AppData\\Roaming\\TolvanDDE\\TolvanDDE.ini");
  // Without a folder for the user's settings, the program's own folder.
  EXPECT_EQ(ChooseSettingsPath(std::nullopt, beside, false, ""), beside);
}
