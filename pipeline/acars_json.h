#pragma once
// ACARS messages as JSON, in the layouts that SDR decoders and aggregators
// use: out as one line of the flat layout; in from the flat layout or the
// nested ones (dumpvdl2's vdl2.avlc.acars, dumphfdl's
// hfdl.lpdu.hfnpdu.acars). No platform header; the JSON
// library does all encoding and parsing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pipeline/acars_message.h"

// What a JSON line carries besides the message itself.
struct JsonFeedInfo {
  double Timestamp = 0;                  // when the text was received: Unix seconds
  std::optional<std::string> StationId;  // left out when not set
  double Freq = 0;                       // MHz; 0 when the user did not say
  std::int32_t Channel = 0;              // the decoder: 0 SkySpy, 1 WinACARS, 2 ANAD, 3 POSFIX
  std::string AppVersion;
};

// One JSON object in the flat layout, UTF-8, ending in "\n". Its text is the
// message's without the one line end that follows the text's last line.
std::string MessageToJsonLine(const AcarsMessage& message, const JsonFeedInfo& info);

// Why an object did not become a message.
enum class JsonSkip {
  None,
  NotJson,        // not a JSON object at all
  NotAcars,       // no label (flat), or no ACARS part (nested: vdl2.avlc.acars, hfdl.lpdu.hfnpdu.acars)
  Partial,        // a fragment, or a reassembly state that a later object completes
  DecodingError,  // the decoder itself says the frame is bad (err true, crc_ok false)
  FieldTooLong,   // a field longer than its place in the frame text
};

struct JsonMessage {
  std::optional<AcarsMessage> Message;  // set when Skip is None
  JsonSkip Skip = JsonSkip::None;
};

// The message in one JSON object, with the header source `source`; safe on
// any bytes. Each field has the place a decoder's text gives it in the frame
// (mode 1, registration 7, label 2, block id 1, and for a downlink message
// number 4 and flight 6): a longer one makes the object no message, since
// it would move every later field; a shorter registration is padded.
JsonMessage MessageFromJson(std::string_view object, DecoderSource source);

// "not JSON", "not ACARS", "partial", "decoding error", "a field too long
// for its place".
const char* JsonSkipText(JsonSkip skip);

// The registration as the frame text holds it: padded on the left with
// dots to 7 characters; 7 dots when empty; longer ones kept whole (the
// JSON inputs take none longer).
std::string PaddedRegistration(std::string_view tail);
