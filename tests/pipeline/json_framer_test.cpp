#include "json_framer.h"

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
