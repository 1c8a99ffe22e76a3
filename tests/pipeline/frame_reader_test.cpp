#include "pipeline/frame_reader.h"

#include <gtest/gtest.h>

#include "pipeline/forwarding.h"

TEST(RecordReader, SplitsAStreamFedInPieces) {
  const auto a = PrepareMessage(
      "Message label: H1 Block id: 3 Msg. no: M12A\r\nFlight id: XY012A\r\nMessage content:-\r\nA\r\n"
      "------------------------[",
      DecoderSource::SkySpy);
  const auto b = PrepareMessage("Message label: SQ Block id: S\r\nMessage content:-\r\nB\r\n------------------------[",
                                DecoderSource::AirNavPosfix);
  ASSERT_TRUE(a && b);
  const std::string stream = RecordBytes(*a) + RecordBytes(*b);
  RecordReader reader;
  std::vector<Record> records;
  for (char c : stream) {  // one byte at a time
    reader.Feed(std::string_view(&c, 1));
    while (auto r = reader.Next()) records.push_back(*r);
  }
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].Frame, a->Frame());
  EXPECT_EQ(records[1].Header.Squitter, 1);
  EXPECT_EQ(records[1].Header.Source, 3);
  EXPECT_EQ(reader.Buffered(), 0u);
}

TEST(RecordReader, StopsAtABadHeader) {
  RecordReader reader;
  reader.Feed(std::string("\x05\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16));  // shorter than any frame
  EXPECT_FALSE(reader.Next());
  EXPECT_FALSE(reader.Error().empty());
  EXPECT_EQ(CheckHeader({10, 1, 1, 0}, 100), "both uplink and squitter");
  EXPECT_EQ(CheckHeader({10, 0, 0, 4}, 100), "unknown source 4");
  EXPECT_EQ(CheckHeader({10, 0, 0, 2}, 100), "");
  EXPECT_EQ(CheckHeader({10, 0, 2, 0}, 100), "flags not 0 or 1");
  EXPECT_EQ(CheckHeader({10, 0, 1, 1}, 100), "");
}

TEST(ParseFrameText, PiecesOfDownlinksUplinksAndOddFrames) {
  auto f =
      ParseFrameText(std::string("*\x16\x16\x01"
                                 "2.D-ABCD\x15H13\x02M12AXY012APOSITION REPORT\r\n\x03"));
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Mode, "2");
  EXPECT_EQ(f->Address, ".D-ABCD");
  EXPECT_EQ(f->Label, "H1");
  EXPECT_EQ(f->BlockId, "3");
  EXPECT_EQ(f->MessageNumber, "M12A");
  EXPECT_EQ(f->FlightId, "XY012A");
  EXPECT_EQ(f->Text, "POSITION REPORT\r\n");

  f =
      ParseFrameText(std::string("*\x16\x16\x01"
                                 "2.F-GKXA\x15SQS\x02"
                                 "02XA\x03"));
  ASSERT_TRUE(f);
  EXPECT_EQ(f->MessageNumber, "");
  EXPECT_EQ(f->Text, "02XA");

  f = ParseFrameText(std::string("*\x16\x16\x01\x15\x02\x03"));
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Label, "");
  EXPECT_FALSE(ParseFrameText("*\x16\x16\x01no end"));
  EXPECT_FALSE(ParseFrameText(""));
}

TEST(ShowControls, NamesControlCharacters) {
  EXPECT_EQ(ShowControls(std::string("A\r\n\x01\x16\x7F", 6)), "A<CR><LF><SOH><SYN><DEL>");
  EXPECT_EQ(ShowControls(std::string("\0", 1)), "<NUL>");
}
