#include <gtest/gtest.h>

#include <string>

#include "settings/settings.h"
#include "support/settings_error.h"

TEST(CaptureSettings, OffUnlessAFolderIsNamedAndSevenDaysKept) {
  const Settings s = ParseSettings({});
  EXPECT_EQ(s.Capture, "");
  EXPECT_EQ(s.CaptureDays, 7);
}

TEST(CaptureSettings, FromTheCommandLineAndTheFile) {
  const Settings s = ParseSettings({"--capture", "C:\\ACARS\\capture", "--capture-days", "3650"});
  EXPECT_EQ(s.Capture, "C:\\ACARS\\capture");
  EXPECT_EQ(s.CaptureDays, 3650);
  const Settings f =
      ParseSettings({"--capture-days", "1"}, {{"capture", {{"capture", "D:\\cap"}, {"capture-days", "30"}}}});
  EXPECT_EQ(f.Capture, "D:\\cap");
  EXPECT_EQ(f.CaptureDays, 1);
}

TEST(CaptureSettings, BadValuesAreRefusedWithWhatIsAllowed) {
  EXPECT_EQ(ErrorOf({"--capture-days", "0"}),
            "--capture-days 0: a whole number from 1 to 3650 (default 7) is allowed.");
  EXPECT_EQ(ErrorOf({"--capture-days", "3651"}),
            "--capture-days 3651: a whole number from 1 to 3650 (default 7) is allowed.");
  EXPECT_EQ(ErrorOf({}, {{"capture", {{"capture-days", "seven"}}}}),
            "[capture] capture-days seven: a whole number from 1 to 3650 (default 7) is allowed.");
  EXPECT_EQ(ErrorOf({"--capture", " "}),
            "--capture  : a folder, such as C:\\ACARS\\capture (default: no capture) is allowed.");
  EXPECT_EQ(ErrorOf({"--capture"}),
            "--capture needs a value: a folder, such as C:\\ACARS\\capture (default: no capture).");
  EXPECT_EQ(ErrorOf({}, {{"json", {{"capture", "D:\\cap"}}}}).rfind("[json] capture is not a setting.", 0), 0u);
}
