#include "pipeline/json_parse.h"

#include <gtest/gtest.h>

#include "pipeline/acars_json.h"
#include "support/nested_json.h"

namespace {

// An array of `count` empty arrays: [[],[],...].
std::string Siblings(int count) {
  std::string text = "[";
  for (int i = 0; i < count; ++i) text += i ? ",[]" : "[]";
  return text + "]";
}

}  // namespace

TEST(ParseJson, NestsUpToTheLimitAndWhatNestsDeeperIsNoJson) {
  const struct {
    std::string text;
    bool json;
  } cases[] = {
      {NestedJson(1), true},
      {NestedJson(kMaxJsonDepth), true},
      {NestedJson(kMaxJsonDepth + 1), false},
      {std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']'), true},
      {std::string(kMaxJsonDepth + 1, '[') + std::string(kMaxJsonDepth + 1, ']'), false},
      // What fits into one datagram, and would overflow a stack when written out.
      {NestedJson(30000), false},
      {std::string(30000, '['), false},
      {Siblings(100), true},  // many brackets, nested two levels deep
      {R"({"label":"H1",})", false},
      {"", false},
  };
  for (const auto& c : cases) {
    const auto plain = ParseJson<nlohmann::json>(c.text);
    const auto ordered = ParseJson<nlohmann::ordered_json>(c.text);
    EXPECT_EQ(!plain.is_discarded(), c.json) << c.text.substr(0, 80);
    EXPECT_EQ(!ordered.is_discarded(), c.json) << c.text.substr(0, 80);
    if (c.json) {
      EXPECT_EQ(ordered.dump(), c.text);
    }
  }
  // A caller may allow more: a capture line nests its object one level deeper.
  EXPECT_FALSE(ParseJson<nlohmann::json>(NestedJson(kMaxJsonDepth + 1), kMaxJsonDepth + 1).is_discarded());
  EXPECT_TRUE(ParseJson<nlohmann::json>(NestedJson(kMaxJsonDepth + 2), kMaxJsonDepth + 1).is_discarded());
}

TEST(ParseJson, AnInputCountsAnObjectNestedTooDeeplyAsNoJson) {
  const JsonMessage atLimit = MessageFromJson(NestedJson(kMaxJsonDepth), DecoderSource::SkySpy);
  EXPECT_EQ(atLimit.Skip, JsonSkip::None);
  ASSERT_TRUE(atLimit.Message);
  EXPECT_EQ(atLimit.Message->MessageLabel, "H1");
  EXPECT_EQ(MessageFromJson(NestedJson(kMaxJsonDepth + 1), DecoderSource::SkySpy).Skip, JsonSkip::NotJson);
  EXPECT_EQ(MessageFromJson(NestedJson(30000), DecoderSource::SkySpy).Skip, JsonSkip::NotJson);
}
