// The settings file's bytes as text in each encoding it may have, and back.

#include "settings/settings_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// "[capture]\ncapture=C:\Καταγραφή" and "C:\Müll" in UTF-8.
const std::string kGreek =
    "[capture]\r\ncapture=C:\\\xCE\x9A\xCE\xB1\xCF\x84\xCE\xB1\xCE\xB3\xCF\x81\xCE\xB1\xCF\x86\xCE\xAE\r\n";
const std::string kLatin = "[capture]\r\ncapture=C:\\M\xC3\xBCll\r\n";

std::string Utf16Le(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (const char c : ascii) bytes += std::string{c, '\0'};
  return bytes;
}

}  // namespace

TEST(SettingsText, EachEncodingIsReadAndWrittenBackAsItWas) {
  struct Case {
    std::string Bytes;
    TextEncoding Encoding;
    std::string Text;
  };
  const Case cases[] = {
      {"[server]\r\nport=2402\r\n", TextEncoding::Utf8, "[server]\r\nport=2402\r\n"},
      {"\xEF\xBB\xBF[server]\r\nport=2402\r\n", TextEncoding::Utf8Bom, "[server]\r\nport=2402\r\n"},
      {Utf16Le("[server]\r\nport=2402\r\n"), TextEncoding::Utf16LeBom, "[server]\r\nport=2402\r\n"},
      {"\xFF\xFE\xFF\xFE", TextEncoding::Utf16LeBom, "\xEF\xBB\xBF"},  // U+FEFF twice: the second is text
      {"\xEF\xBB\xBF", TextEncoding::Utf8Bom, ""},
      {"", TextEncoding::Utf8, ""},
      {kGreek, TextEncoding::Utf8, kGreek},
      {"[capture]\r\ncapture=C:\\M\xFCll\r\n", TextEncoding::Windows1252, kLatin},  // not UTF-8: ANSI
  };
  for (const Case& c : cases) {
    const DecodedText decoded = DecodeSettingsText(c.Bytes);
    EXPECT_EQ(decoded.Encoding, c.Encoding) << c.Bytes;
    EXPECT_EQ(decoded.Utf8, c.Text) << c.Bytes;
    EXPECT_EQ(EncodeSettingsText(decoded.Utf8, decoded.Encoding), c.Bytes);
  }
  // A character outside the basic plane survives UTF-16 both ways.
  const std::string clef = "x=\xF0\x9D\x84\x9E";
  EXPECT_EQ(DecodeSettingsText(*EncodeSettingsText(clef, TextEncoding::Utf16LeBom)).Utf8, clef);
}

TEST(SettingsText, AnAnsiFileCannotKeepACharacterOutsideItsCodePage) {
  EXPECT_EQ(EncodeSettingsText(kGreek, TextEncoding::Windows1252), std::nullopt);
  EXPECT_EQ(EncodeSettingsText("euro=\xE2\x82\xAC", TextEncoding::Windows1252), "euro=\x80");  // in the code page
  EXPECT_EQ(EncodeSettingsText("lost=?", TextEncoding::Windows1252), "lost=?");  // a '?' of its own is kept
}

TEST(SettingsText, SectionsAndKeysAreParsedWithTheirOwnSpelling) {
  const SettingsFile file = ParseSettingsText(
      "ignored=1\n; note\r\n# note\r\n [server] \r\n port = 2402 \r\nport=2403\r\n\r\n[capture]\n"
      "capture=C:\\\xCE\xA3\r\n[server]\r\nbind=127.0.0.1");
  EXPECT_EQ(file, (SettingsFile{{"server", {{"port", "2403"}, {"bind", "127.0.0.1"}}},
                                {"capture", {{"capture", "C:\\\xCE\xA3"}}}}));
  try {
    ParseSettingsText("[json]\r\njson-out\r\n");
    FAIL() << "no error";
  } catch (const SettingsError& e) {
    EXPECT_STREQ(e.what(), "[json] json-out: a line key=value is allowed.");
  }
}
