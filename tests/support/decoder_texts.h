#pragma once
// Decoder texts for the tests: downlinks and squitters as the decoders print
// them, and the worked example with the frame it makes.

#include <string>

// A downlink of .G-EUPT, flight `flight`, block `blockId`, with `content`
// as its text.
inline std::string Downlink(const std::string& flight, const std::string& content, char blockId = '4') {
  return std::string("ACARS mode: 2 Aircraft reg: .G-EUPT\r\nMessage label: H1 Block id: ") + blockId +
         " Msg. no: M01A\r\nFlight id: " + flight + "\r\nMessage content:-\r\n" + content +
         "\r\n------------------------[ 2 ]\r\n";
}

// A downlink of .G-EUPT, flight BA0286, with `content` as its text.
inline std::string Downlink(const std::string& content) {
  return Downlink("BA0286", content);
}

// A squitter of .F-GKXA, with bare line feeds as some decoders print them.
inline std::string Squitter(const std::string& content) {
  return "ACARS mode: 2 Aircraft reg: .F-GKXA\nMessage label: SQ Block id: S\nMessage content:-\n" + content +
         "\n------------------------[ 5 ]\n";
}

// The worked example of a downlink, and the frame text it becomes.
inline const std::string kExample =
    "ACARS mode: 2 Aircraft reg: .D-ABCD\r\nMessage label: H1 Block id: 3 Msg. no: M12A\r\nFlight id: XY012A\r\n"
    "Message content:-\r\nPOSITION REPORT\r\n------------------------[ 1 ]\r\n";
inline const std::string kExampleFrame = std::string(
    "*\x16\x16\x01"
    "2.D-ABCD\x15H13\x02M12AXY012APOSITION REPORT\r\n\x03");

// An HF data text without a flight id: a filler, not forwarded.
inline const std::string kHfWithoutFlight =
    "ACARS mode: 2 Aircraft reg: .A6-EDY\r\nMessage label: HF Block id: 1 Msg. no: 0000\r\nFlight id: \r\n"
    "Message content:-\r\nHF DATA;\r\n";
