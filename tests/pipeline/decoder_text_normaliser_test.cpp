#include "pipeline/decoder_text_normaliser.h"

#include <gtest/gtest.h>

TEST(NormaliseDecoderText, LineBreaksEndAsCrLf) {
  EXPECT_EQ(NormaliseDecoderText("a\r\nb\r\n"), "a\r\nb\r\n");
  EXPECT_EQ(NormaliseDecoderText("a\nb\n"), "a\r\nb\r\n");
  EXPECT_EQ(NormaliseDecoderText("a\rb"), "a\rb");  // a bare CR stays
  EXPECT_EQ(NormaliseDecoderText("a\r\rb"), "a\rb");
  EXPECT_EQ(NormaliseDecoderText("a\r\r\rb"), "a\r\rb");    // pairs, left to right
  EXPECT_EQ(NormaliseDecoderText("a\r\r\nb"), "a\r\r\nb");  // CR CR CR LF: one pair folded
  EXPECT_EQ(NormaliseDecoderText("\n\n"), "\r\n\r\n");
}

TEST(NormaliseDecoderText, ExtraSpacesAfterLabels) {
  EXPECT_EQ(NormaliseDecoderText("ACARS mode:  2 Aircraft reg: .D-ABCD"), "ACARS mode: 2 Aircraft reg: .D-ABCD");
  EXPECT_EQ(NormaliseDecoderText("ACARS mode:   2"), "ACARS mode:  2");  // one pass only
  EXPECT_EQ(NormaliseDecoderText("x Aircraft reg:  N123"), "x  Aircraft reg: N123");
  EXPECT_EQ(NormaliseDecoderText("acars mode:  2"), "acars mode:  2");  // case-sensitive
}
