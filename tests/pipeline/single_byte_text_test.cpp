#include "pipeline/single_byte_text.h"

#include <gtest/gtest.h>

TEST(SingleByteText, EveryCharacterIsOneByte) {
  EXPECT_EQ(ToSingleByte(u"ABC\r\n\x01\x03"), "ABC\r\n\x01\x03");
  EXPECT_EQ(ToSingleByte(u"\u00E9\u20AC\u2122"), "\xE9\x80\x99");     // Latin-1 and 1252 extras
  EXPECT_EQ(ToSingleByte(u"a\u4E2Db\u0394"), "a?b?");                 // not in the code page
  EXPECT_EQ(ToSingleByte(u"x\U0001F600y"), "x?y");                    // a pair is one character
  EXPECT_EQ(ToSingleByte(std::u16string(1, char16_t{0xD800})), "?");  // a lone surrogate
}

TEST(SingleByteText, RoundTripOfEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::u16string wide = ToUtf16(all);
  EXPECT_EQ(wide.size(), 256u);
  EXPECT_EQ(wide[0x80], u'\u20AC');
  EXPECT_EQ(ToSingleByte(wide), all);
}
