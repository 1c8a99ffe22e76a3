#include "pipeline/decoder_text_parser.h"

#include <gtest/gtest.h>

#include <string>

using REZUZ2ARI::ExtractField;
using REZUZ2ARI::ParseDecoderText;

namespace {

const std::string kMarker = "------------------------[ 1 ]";

// The downlink of the worked example: six lines ended by CR LF.
std::string Downlink() {
  return "ACARS mode: 2 Aircraft reg: .D-ABCD\r\n"
         "Message label: H1 Block id: 3 Msg. no: M12A\r\n"
         "Flight id: XY012A\r\n"
         "Message content:-\r\n"
         "POSITION REPORT\r\n" +
         kMarker + "\r\n";
}

}  // namespace

TEST(ParseDecoderText, DownlinkFillsEveryField) {
  const AcarsMessage m = ParseDecoderText(Downlink(), DecoderSource::AirNavPosfix);
  EXPECT_EQ(m.Mode, "2");
  EXPECT_EQ(m.AircraftReg, ".D-ABCD");
  EXPECT_EQ(m.MessageLabel, "H1");
  EXPECT_EQ(m.BlockID, "3");
  EXPECT_EQ(m.MessageNumber, "M12A");
  EXPECT_EQ(m.FlightNumber, "XY012A");
  EXPECT_EQ(m.MessageContent, "POSITION REPORT\r\n");
  EXPECT_EQ(m.Timestamp, 0.0);
  EXPECT_EQ(m.Uplink, 0);
  EXPECT_EQ(m.Squitter, 0);
  EXPECT_EQ(m.Source, DecoderSource::AirNavPosfix);
}

TEST(ParseDecoderText, SquitterHasNoNumberOrFlight) {
  const std::string text =
      "ACARS mode: 2 Aircraft reg: .D-ABCD\r\n"
      "Message label: SQ Block id: A\r\n"
      "Message content:-\r\n"
      "POSITION REPORT\r\n" +
      kMarker + "\r\n";
  const AcarsMessage m = ParseDecoderText(text, DecoderSource::SkySpy);
  EXPECT_EQ(m.Squitter, 1);
  EXPECT_EQ(m.Uplink, 0);
  EXPECT_EQ(m.MessageNumber, "");
  EXPECT_EQ(m.FlightNumber, "");
  EXPECT_EQ(m.MessageContent, "POSITION REPORT\r\n");
}

TEST(ParseDecoderText, LetterBlockIdWithOtherLabelIsUplinkEvenWithNumberLines) {
  const std::string text =
      "ACARS mode: 2 Aircraft reg: .D-ABCD\r\nMessage label: 5Z Block id: B Msg. no: M12A\r\n"
      "Flight id: XY012A\r\nMessage content:-\r\nGATE 12\r\n" +
      kMarker;
  const AcarsMessage m = ParseDecoderText(text, DecoderSource::Airmaster);
  EXPECT_EQ(m.Uplink, 1);
  EXPECT_EQ(m.Squitter, 0);
  EXPECT_EQ(m.MessageNumber, "");
  EXPECT_EQ(m.FlightNumber, "");
}

TEST(ParseDecoderText, HfWithoutFlightIdBecomesZZ0000AndEndsAtSemicolon) {
  const std::string text =
      "ACARS mode: 2 Aircraft reg: .D-ABCD\r\n"
      "Message label: HF Block id: 1 Msg. no: 0000\r\n"
      "Flight id: \r\n"
      "Message content:-\r\n"
      "HF DATA;\r\n";
  const AcarsMessage m = ParseDecoderText(text, DecoderSource::AirNavPosfix);
  EXPECT_EQ(m.FlightNumber, "ZZ0000");
  EXPECT_EQ(m.MessageContent, "HF DATA;");
  EXPECT_EQ(m.Uplink, 0);
  EXPECT_EQ(m.Squitter, 0);
}

TEST(ParseDecoderText, HfWithFlightIdKeepsItAndEndsAtHyphenRun) {
  const std::string text =
      "Message label: HF Block id: 7 Msg. no: 0000\r\nFlight id: AB1234\r\n"
      "Message content:-\r\nHF; DATA\r\n---------------\r\n";
  const AcarsMessage m = ParseDecoderText(text, DecoderSource::AirNavPosfix);
  EXPECT_EQ(m.FlightNumber, "AB1234");
  // The hyphen run wins over an earlier semicolon.
  EXPECT_EQ(m.MessageContent, "HF; DATA\r\n");
}

TEST(ParseDecoderText, HfWithoutEndMarkHasEmptyContent) {
  const AcarsMessage m =
      ParseDecoderText("Message label: HF Block id: 1 Msg. no: 0000\r\nFlight id: \r\nMessage content:-\r\nHF DATA\r\n",
                       DecoderSource::AirNavPosfix);
  EXPECT_EQ(m.FlightNumber, "ZZ0000");
  EXPECT_EQ(m.MessageContent, "");
}

TEST(ParseDecoderText, ZZ0000OnlyForHfWithNumber0000AndContent) {
  // Another number: the empty flight id stays what the extraction yields.
  AcarsMessage m = ParseDecoderText(
      "Message label: HF Block id: 1 Msg. no: 0001\r\nFlight id: \r\nMessage content:-\r\nX\r\n" + kMarker,
      DecoderSource::AirNavPosfix);
  EXPECT_EQ(m.FlightNumber, "\r\nMess");
  EXPECT_EQ(m.MessageContent, "X\r\n");
  // Another label.
  m = ParseDecoderText("Message label: H1 Block id: 1 Msg. no: 0000\r\nFlight id: \r\nMessage content:-\r\n",
                       DecoderSource::AirNavPosfix);
  EXPECT_EQ(m.FlightNumber, "\r\nMess");
}

TEST(ParseDecoderText, MissingPiecesYieldEmptyOrPartialFields) {
  // No content label: everything else is still read.
  AcarsMessage m =
      ParseDecoderText("ACARS mode: 2 Aircraft reg: .D-ABCD Message label: H1 Block id: 3", DecoderSource::SkySpy);
  EXPECT_EQ(m.AircraftReg, ".D-ABCD");
  EXPECT_EQ(m.MessageLabel, "H1");
  EXPECT_EQ(m.BlockID, "3");
  EXPECT_EQ(m.MessageContent, "");

  // "Block id: " at the very end: empty, so not numeric; the label decides.
  m = ParseDecoderText("Message label: SQ Block id: ", DecoderSource::SkySpy);
  EXPECT_EQ(m.BlockID, "");
  EXPECT_EQ(m.Squitter, 1);
  m = ParseDecoderText("Message label: H1 Block id: ", DecoderSource::SkySpy);
  EXPECT_EQ(m.Uplink, 1);

  // A short registration takes whatever follows it, up to seven characters.
  m = ParseDecoderText("Aircraft reg: N12\r\nMessage label: H1", DecoderSource::SkySpy);
  EXPECT_EQ(m.AircraftReg, "N12\r\nMe");

  // A space as mode character is trimmed away.
  m = ParseDecoderText("ACARS mode:   Aircraft reg: ", DecoderSource::SkySpy);
  EXPECT_EQ(m.Mode, "");

  // Content not followed by the closing marker is left empty.
  m = ParseDecoderText("Message label: H1 Block id: 3\r\nMessage content:-\r\nTEXT\r\n", DecoderSource::SkySpy);
  EXPECT_EQ(m.MessageContent, "");
}

TEST(ParseDecoderText, AbsentLabelGivesEmptyField) {
  EXPECT_EQ(ExtractField("Aircraft reg: ", "ACARS mode: 2 and nothing else", 7), "");
  EXPECT_EQ(ExtractField("Flight id: ", "", 6), "");
  EXPECT_EQ(ExtractField("Flight id: ", "Flight id: ", 6), "");
  EXPECT_EQ(ExtractField("Flight id: ", "Flight id: AB", 6), "AB");
  EXPECT_EQ(ExtractField("a", "xaa", 1), "a");   // first occurrence
  EXPECT_EQ(ExtractField("A", "xaAb", 1), "b");  // case-sensitive
}

TEST(ParseDecoderText, EndMarksBeforeTheContentDoNotReverseIt) {
  // A run of hyphens in the header lines comes before the content start; the
  // content still ends at the run in front of the closing marker.
  const std::string text =
      "---------------------------\r\nACARS mode: 2 Aircraft reg: .D-ABCD\r\n"
      "Message label: H1 Block id: 3 Msg. no: M12A\r\nFlight id: XY012A\r\n"
      "Message content:-\r\nPOSITION REPORT\r\n" +
      kMarker + "\r\n";
  EXPECT_EQ(ParseDecoderText(text, DecoderSource::SkySpy).MessageContent, "POSITION REPORT\r\n");

  // The same for a semicolon in an HF header, and with no end mark at all.
  const std::string hf =
      "Note; Message label: HF Block id: 1 Msg. no: 0000\r\nFlight id: \r\nMessage content:-\r\nHF DATA";
  EXPECT_EQ(ParseDecoderText(hf, DecoderSource::AirNavPosfix).MessageContent, "");
  EXPECT_EQ(ParseDecoderText(hf + ";", DecoderSource::AirNavPosfix).MessageContent, "HF DATA;");

  // Content label at the very end of the text: the content start lies past it.
  EXPECT_EQ(ParseDecoderText(kMarker + "Message content:-", DecoderSource::SkySpy).MessageContent, "");
  EXPECT_EQ(ParseDecoderText("Message label: HF Block id: 1 Msg. no: 0000Message content:-", DecoderSource::SkySpy)
                .MessageContent,
            "");
}

TEST(ParseDecoderText, LabelsBeyondSixteenBitPositionsAreFound) {
  for (const std::size_t padding : {40000u, 70000u}) {
    const std::string text = std::string(padding, 'x') + Downlink();
    const AcarsMessage m = ParseDecoderText(text, DecoderSource::Airmaster);
    EXPECT_EQ(m.AircraftReg, ".D-ABCD") << padding;
    EXPECT_EQ(m.FlightNumber, "XY012A") << padding;
    EXPECT_EQ(m.MessageContent, "POSITION REPORT\r\n") << padding;
  }
  // A long free text between the content label and the marker.
  const std::string longContent(70000, 'y');
  const std::string text = "Message label: H1 Block id: 3\r\nMessage content:-\r\n" + longContent + kMarker;
  EXPECT_EQ(ParseDecoderText(text, DecoderSource::Airmaster).MessageContent, longContent);
}
