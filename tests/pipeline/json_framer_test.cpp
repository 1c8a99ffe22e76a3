#include "pipeline/json_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> All(JsonFramer& framer) {
  std::vector<std::string> out;
  while (auto object = framer.Next()) out.push_back(*object);
  return out;
}

}  // namespace

TEST(JsonFramer, LinesCrLfAndBackToBackObjects) {
  JsonFramer f;
  f.Feed("{\"a\":1}\n{\"b\":\"x}{\"}\r\n{\"c\":{\"d\":[1,{}]}}{\"e\":2}\n");
  EXPECT_EQ(All(f), (std::vector<std::string>{"{\"a\":1}", "{\"b\":\"x}{\"}", "{\"c\":{\"d\":[1,{}]}}", "{\"e\":2}"}));
  EXPECT_EQ(f.Skipped(), 0u);
}

TEST(JsonFramer, AnObjectSplitAtEveryBytePosition) {
  const std::string stream = "{\"text\":\"a\\\"}b\\\\\",\"n\":{\"x\":1}}\r\n{\"y\":2}";
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    JsonFramer f;
    f.Feed(stream.substr(0, cut));
    std::vector<std::string> got = All(f);
    f.Feed(stream.substr(cut));
    for (auto& o : All(f)) got.push_back(o);
    EXPECT_EQ(got, (std::vector<std::string>{"{\"text\":\"a\\\"}b\\\\\",\"n\":{\"x\":1}}", "{\"y\":2}"})) << cut;
    EXPECT_EQ(f.Skipped(), 0u);
  }
}

TEST(JsonFramer, GarbageBrokenAndOversizeObjectsAreSkippedAndCounted) {
  JsonFramer f;
  f.Feed("garbage here\n{\"a\":1}junk{\"b\":2}\n{\"cut\":\"off\n{\"c\":3}\n[{15 ]{\"d\":4}\n");
  EXPECT_EQ(All(f), (std::vector<std::string>{"{\"a\":1}", "{\"b\":2}", "{\"c\":3}", "{\"d\":4}"}));
  EXPECT_EQ(f.Skipped(), 5u) << "the bracket before the object and the object a bracket closed";

  const std::string huge = "{\"t\":\"" + std::string(JsonFramer::kMaxObject + 10, 'x') + "\"}";
  f.Feed(huge + "{\"after\":1}\n");
  EXPECT_EQ(All(f), (std::vector<std::string>{"{\"after\":1}"}));
  EXPECT_EQ(f.Skipped(), 6u);

  // A datagram that ends inside an object: the piece is not kept.
  f.Feed("{\"open\":");
  f.EndOfDatagram();
  f.Feed("1}{\"next\":1}");
  EXPECT_EQ(All(f), (std::vector<std::string>{"{\"next\":1}"}));
  EXPECT_EQ(f.Skipped(), 8u) << "the broken object and the stray text after it";
}

TEST(JsonFramer, AnObjectOfExactlyTheLimitIsKeptAndOneByteMoreIsSkipped) {
  // {"t":"xxx...x"}: 8 bytes around the text.
  const std::string atLimit = "{\"t\":\"" + std::string(JsonFramer::kMaxObject - 8, 'x') + "\"}";
  const std::string overLimit = "{\"t\":\"" + std::string(JsonFramer::kMaxObject - 7, 'x') + "\"}";
  ASSERT_EQ(atLimit.size(), JsonFramer::kMaxObject);
  ASSERT_EQ(overLimit.size(), JsonFramer::kMaxObject + 1);
  JsonFramer f;
  f.Feed(atLimit + "\n" + overLimit + "\n{\"after\":1}\n");
  const auto objects = All(f);
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0], atLimit);
  EXPECT_EQ(objects[1], "{\"after\":1}");
  EXPECT_EQ(f.Skipped(), 1u);

  // Back to back, and in pieces, the same.
  JsonFramer g;
  const std::string stream = overLimit + atLimit + "{\"after\":1}";
  for (std::size_t at = 0; at < stream.size(); at += 4096) g.Feed(std::string_view(stream).substr(at, 4096));
  const auto pieces = All(g);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], atLimit);
  EXPECT_EQ(g.Skipped(), 1u);
}
