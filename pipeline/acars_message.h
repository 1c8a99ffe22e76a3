#pragma once
// One parsed ACARS message: a plain value that the parser returns and the
// caller owns. Strings hold single-byte (Windows-1252) text.

#include <cstdint>
#include <string>
#include <string_view>

#include "pipeline/decoder_source.h"

struct AcarsMessage {
  std::string Mode;            // at most 1 character, spaces trimmed
  std::string AircraftReg;     // at most 7 characters, as the decoder prints it
  std::string MessageLabel;    // at most 2 characters
  std::string BlockID;         // at most 1 character
  std::string MessageNumber;   // at most 4 characters; downlinks only
  std::string FlightNumber;    // at most 6 characters; downlinks only
  std::string MessageContent;  // free text
  double Timestamp = 0.0;      // always the zero date; nothing reads it
  std::int32_t Uplink = 0;     // 1: uplink (block id not numeric, label not "SQ")
  std::int32_t Squitter = 0;   // 1: squitter (block id not numeric, label "SQ")
  DecoderSource Source = DecoderSource::SkySpy;

  bool operator==(const AcarsMessage&) const = default;
};

// A block id of one digit marks a downlink, which alone carries a message
// number and a flight id.
bool IsDownlinkBlockId(std::string_view blockId);

// Uplink and Squitter from the block id and the label: any block id but a
// digit makes a squitter when the label is "SQ", else an uplink.
void SetDirection(AcarsMessage& message);
