#include "capture/capture_line.h"

#include <gtest/gtest.h>

#include <string>

#include "pipeline/json_parse.h"
#include "support/nested_json.h"

namespace {

CaptureRecord RoundTrip(const CaptureRecord& record) {
  std::string why;
  const auto back = ParseCaptureLine(CaptureLine(record), why);
  EXPECT_TRUE(back) << why;
  return back.value_or(CaptureRecord{});
}

}  // namespace

TEST(CaptureLine, TimesAreUtcWithMicroseconds) {
  EXPECT_EQ(UtcTimeText(0), "1970-01-01T00:00:00.000000Z");
  EXPECT_EQ(UtcTimeText(1796757980123456), "2026-12-08T19:26:20.123456Z");
  EXPECT_EQ(ParseUtcTimeText("2026-12-08T19:26:20.123456Z"), 1796757980123456);
  EXPECT_EQ(ParseUtcTimeText("2024-02-29T23:59:59.999999Z"), 1709251199999999);
  EXPECT_EQ(ParseUtcTimeText("2023-02-29T00:00:00.000000Z"), std::nullopt);  // no such day
  EXPECT_EQ(ParseUtcTimeText("2026-12-08 19:26:20.123456Z"), std::nullopt);
  EXPECT_EQ(ParseUtcTimeText("2026-12-08T19:26:20Z"), std::nullopt);
}

TEST(CaptureLine, ADecoderTextIsUtf8InTheLineAndComesBackByteForByte) {
  // Every byte a decoder can send, the five the code page leaves unassigned
  // among them.
  std::string text;
  for (int b = 1; b < 256; ++b) text += static_cast<char>(b);
  const CaptureRecord record{"SkySpy", 1796757980123456, CaptureRecord::Kind::Text, text};
  const std::string line = CaptureLine(record);
  EXPECT_EQ(line.find('\n'), std::string::npos);  // one line
  EXPECT_NE(line.find("\"text\":\""), std::string::npos);
  EXPECT_NE(line.find("\xE2\x82\xAC"), std::string::npos);  // 0x80 as the euro sign in UTF-8
  EXPECT_EQ(RoundTrip(record), record);
}

TEST(CaptureLine, TheLayoutOfAText) {
  const CaptureRecord record{"Posfix", 1796757980000001, CaptureRecord::Kind::Text, "ACARS mode: 2\r\n\xE9"};
  EXPECT_EQ(CaptureLine(record), R"({"input":"Posfix","time":"2026-12-08T19:26:20.000001Z","text":"ACARS mode: 2\r\n)"
                                 "\xC3\xA9\"}");
}

TEST(CaptureLine, AJsonObjectIsKeptAsTheObjectWithItsMembersInOrder) {
  const CaptureRecord record{"udp:5550", 1796757980000000, CaptureRecord::Kind::Object,
                             R"({"timestamp":1.5,"label":"H1","text":"caf\u00e9"})"};
  EXPECT_EQ(CaptureLine(record), R"({"input":"udp:5550","time":"2026-12-08T19:26:20.000000Z","object":)"
                                 R"({"timestamp":1.5,"label":"H1","text":"café"}})");
  const CaptureRecord back = RoundTrip(record);
  EXPECT_EQ(back.Type, CaptureRecord::Kind::Object);
  EXPECT_EQ(back.Content, R"({"timestamp":1.5,"label":"H1","text":"café"})");
}

TEST(CaptureLine, WhatCameAsJsonButIsNoneIsKeptAsItCame) {
  const CaptureRecord record{"tcp:router:15550", 0, CaptureRecord::Kind::Object, "{\"label\":\"H1\",}"};
  EXPECT_NE(CaptureLine(record).find(R"("json":"{\"label\":\"H1\",}")"), std::string::npos);
  EXPECT_EQ(RoundTrip(record), record);
}

TEST(CaptureLine, AnObjectNestedBeyondTheLimitIsKeptAsTheTextThatCame) {
  const struct {
    std::size_t levels;
    const char* member;
  } cases[] = {
      {kMaxJsonDepth, R"("object":{"label")"},
      {kMaxJsonDepth + 1, R"("json":"{\"label\")"},
      {100000, R"("json":"{\"label\")"},  // writing it out as an object overflowed the stack
  };
  for (const auto& c : cases) {
    const CaptureRecord record{"udp:5550", 0, CaptureRecord::Kind::Object, NestedJson(c.levels)};
    EXPECT_NE(CaptureLine(record).find(c.member), std::string::npos) << c.levels;
    EXPECT_EQ(RoundTrip(record), record) << c.levels;
  }
  // A line read back holds an object at most as deep as one that is written.
  const std::string head = R"({"input":"udp:5550","time":"2026-12-08T19:26:20.000000Z","object":)";
  std::string why;
  EXPECT_TRUE(ParseCaptureLine(head + NestedJson(kMaxJsonDepth) + "}", why));
  EXPECT_FALSE(ParseCaptureLine(head + NestedJson(kMaxJsonDepth + 1) + "}", why));
  EXPECT_EQ(why, "not JSON");
}

TEST(CaptureLine, LinesThatHoldNoRecordSayWhy) {
  std::string why;
  EXPECT_FALSE(ParseCaptureLine("not json", why));
  EXPECT_NE(why.find("not JSON"), std::string::npos);
  EXPECT_FALSE(ParseCaptureLine(R"({"time":"2026-12-08T19:26:20.000000Z","text":"x"})", why));
  EXPECT_EQ(why, "no \"input\"");
  EXPECT_FALSE(ParseCaptureLine(R"({"input":"SkySpy","time":"yesterday","text":"x"})", why));
  EXPECT_NE(why.find("time"), std::string::npos);
  EXPECT_FALSE(ParseCaptureLine(R"({"input":"SkySpy","time":"2026-12-08T19:26:20.000000Z"})", why));
  EXPECT_EQ(why, "neither \"text\" nor \"object\"");
}
