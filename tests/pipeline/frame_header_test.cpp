#include "pipeline/frame_header.h"

#include <gtest/gtest.h>

#include <string>

#include "pipeline/acars_message.h"

namespace {
FrameHeader::Bytes B(std::initializer_list<int> v) {
  FrameHeader::Bytes b{};
  std::size_t i = 0;
  for (int x : v) b[i++] = static_cast<std::uint8_t>(x);
  return b;
}
}  // namespace

TEST(FrameHeader, ExampleFromSourceThree) {
  AcarsMessage m;
  m.Source = DecoderSource::AirNavPosfix;
  const FrameHeader h = MakeFrameHeader(std::string(45, 'x'), m);
  EXPECT_EQ(h.ToBytes(), B({0x2D, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0}));
}

TEST(FrameHeader, LengthAndFlagsAreLittleEndian) {
  AcarsMessage m;
  m.Squitter = 1;
  m.Source = DecoderSource::Airmaster;
  EXPECT_EQ(MakeFrameHeader(std::string(300, 'x'), m).ToBytes(),
            B({0x2C, 0x01, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
  const FrameHeader big{0x12345678, 0, 1, -1};
  EXPECT_EQ(big.ToBytes(), B({0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
  const FrameHeader back = FrameHeader::FromBytes(big.ToBytes());
  EXPECT_EQ(back.Length, big.Length);
  EXPECT_EQ(back.Uplink, 1);
  EXPECT_EQ(back.Source, -1);
}
