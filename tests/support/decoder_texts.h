#pragma once
// Decoder texts for the tests: a downlink as the decoders print it.

#include <string>

// A downlink of .G-EUPT, flight BA0286, with `content` as its text.
inline std::string Downlink(const std::string& content) {
  return "ACARS mode: 2 Aircraft reg: .G-EUPT\r\nMessage label: H1 Block id: 4 Msg. no: M01A\r\nFlight id: BA0286"
         "\r\nMessage content:-\r\n" +
         content + "\r\n------------------------[ 2 ]\r\n";
}
