#include "pipeline/acars_frame.h"

#include <gtest/gtest.h>

#include <string>

#include "pipeline/decoder_text_parser.h"

using REZUZ2ARI::BuildAcarsFrame;

TEST(BuildAcarsFrame, ExampleRecordGivesFortyFiveCharacters) {
  AcarsMessage m;
  m.Mode = "2";
  m.AircraftReg = ".D-ABCD";
  m.MessageLabel = "H1";
  m.BlockID = "3";
  m.MessageNumber = "M12A";
  m.FlightNumber = "XY012A";
  m.MessageContent = "POSITION REPORT\r\n";
  const std::string frame = BuildAcarsFrame(m);
  EXPECT_EQ(frame, std::string("*\x16\x16\x01"
                               "2.D-ABCD\x15H13\x02M12AXY012APOSITION REPORT\r\n\x03"));
  EXPECT_EQ(frame.size(), 45u);
}

TEST(BuildAcarsFrame, EmptyRecordGivesSevenControlCharacters) {
  EXPECT_EQ(BuildAcarsFrame(AcarsMessage{}), std::string("*\x16\x16\x01\x15\x02\x03"));
}

TEST(BuildAcarsFrame, FieldsGoInExactlyAsHeld) {
  AcarsMessage m;
  m.AircraftReg = "N12\r\nMe";  // a short registration with what followed it
  m.MessageLabel = "SQ";
  m.BlockID = "A";
  m.MessageContent = std::string("A\0B\r\n", 5);
  EXPECT_EQ(BuildAcarsFrame(m), std::string("*\x16\x16\x01N12\r\nMe\x15SQA\x02"
                                            "A\0B\r\n\x03",
                                            22));
}
