#include "pipeline/forwarding.h"

#include <gtest/gtest.h>

#include "pipeline/frame_reader.h"

namespace {
const std::string kExample =
    "ACARS mode:  2 Aircraft reg: .D-ABCD\nMessage label: H1 Block id: 3 Msg. no: M12A\nFlight id: XY012A\n"
    "Message content:-\nPOSITION REPORT\n------------------------[ 1 ]\n";
}

TEST(PrepareMessage, ShortTextsAreNoMessages) {
  EXPECT_FALSE(PrepareMessage("0123456789", DecoderSource::SkySpy));
  EXPECT_TRUE(PrepareMessage("0123456789A", DecoderSource::SkySpy));
  EXPECT_FALSE(PrepareMessage("", DecoderSource::SkySpy));
}

TEST(PrepareMessage, ExampleBecomesItsRecord) {
  const auto f = PrepareMessage(kExample, DecoderSource::AirNavPosfix);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Normalised.find('\n'), f->Normalised.find("\r\n") + 1);  // LF became CR LF
  EXPECT_EQ(f->Message.Mode, "2");                                      // after the double space
  EXPECT_EQ(f->Frame().size(), 45u);
  EXPECT_EQ(f->Header.Length, 45);
  EXPECT_EQ(f->Header.Source, 3);
  const std::string record = RecordBytes(*f);
  EXPECT_EQ(record.substr(0, 16), std::string("\x2D\0\0\0\0\0\0\0\0\0\0\0\x03\0\0\0", 16));
  EXPECT_EQ(record.substr(16), f->Frame());
  EXPECT_EQ(ForwardLogDescription(*f), ".D-ABCD XY012A\r\n" + std::string(f->Frame()) + "\r\nBytes: 45");
  EXPECT_EQ(ChangeLogDescription("AirNavIn ", kExample), "AirNavIn " + std::to_string(kExample.size()));
}

TEST(PrepareMessage, LogShowsTheLowByteOfALongFrame) {
  const std::string content(300 - 7 - 20, 'x');
  const std::string text =
      "Message label: H1 Block id: A\r\nMessage content:-\r\n" + content + "------------------------[";
  const auto f = PrepareMessage(text, DecoderSource::Airmaster);
  ASSERT_TRUE(f);
  const std::size_t length = f->Frame().size();
  EXPECT_EQ(f->Header.ToBytes()[0], static_cast<std::uint8_t>(length & 0xFF));
  EXPECT_EQ(ForwardLogDescription(*f).substr(ForwardLogDescription(*f).rfind("Bytes: ")),
            "Bytes: " + std::to_string(length & 0xFF));
}

TEST(IsDroppedHfMessage, OnlyHfWithNumber0000AndNoFlight) {
  AcarsMessage m;
  m.MessageLabel = "HF";
  m.MessageNumber = "0000";
  m.FlightNumber = "ZZ0000";
  EXPECT_TRUE(IsDroppedHfMessage(m));
  m.FlightNumber = "EK0205";
  EXPECT_FALSE(IsDroppedHfMessage(m));
  m.FlightNumber = "ZZ0000";
  m.MessageNumber = "0001";
  EXPECT_FALSE(IsDroppedHfMessage(m));
}

TEST(PrepareMessage, BuffersThatServedOneMessageServeTheNextAlike) {
  // A long downlink, then an uplink (no number, no flight), then a text with
  // the labels in its content only: nothing of an earlier message stays.
  const std::string downlink =
      "ACARS mode: 2 Aircraft reg: .D-ABCD\r\nMessage label: H1 Block id: 3 Msg. no: M12A\r\n"
      "Flight id: XY012A\r\nMessage content:-\r\n" +
      std::string(500, 'P') + "\r\n------------------------[ 1 ]\r\n";
  const std::string uplink =
      "ACARS mode: 2 Aircraft reg: .G-EUPT\nMessage label: 5U Block id: K\nMessage content:-\n"
      "WX REQUEST\n------------------------[ 2 ]\n";
  const std::string labelsInContent = "Message content:-\r\nACARS mode: 2 Aircraft reg: .N12345 Flight id: AB1234\r\n";
  ForwardedMessage reused;
  for (const std::string& text : {downlink, uplink, labelsInContent, downlink}) {
    ASSERT_TRUE(PrepareMessage(text, DecoderSource::Airmaster, reused));
    const auto fresh = PrepareMessage(text, DecoderSource::Airmaster);
    EXPECT_EQ(reused.Normalised, fresh->Normalised);
    EXPECT_EQ(reused.Message, fresh->Message);
    EXPECT_EQ(reused.Record, fresh->Record);
  }
  ASSERT_TRUE(PrepareMessage(uplink, DecoderSource::Airmaster, reused));
  EXPECT_EQ(reused.Message.FlightNumber, "");
  EXPECT_EQ(reused.Message.MessageContent, "WX REQUEST\r\n");
  EXPECT_FALSE(PrepareMessage("short", DecoderSource::Airmaster, reused));
}
