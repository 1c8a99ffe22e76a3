#include "pipeline/acars_json.h"

#include <nlohmann/json.hpp>

#include "pipeline/json_parse.h"
#include "pipeline/single_byte_text.h"

namespace {

using ordered_json = nlohmann::ordered_json;
using json = nlohmann::json;

// The places of the fields in the frame text, as the decoders' texts give
// them: the frame's readers find each field by its place.
constexpr std::size_t kModeWidth = 1, kRegistrationLength = 7, kLabelWidth = 2, kBlockIdWidth = 1,
                      kMessageNumberWidth = 4, kFlightWidth = 6;

// A string member, or empty when it is missing or not a string.
std::string Text(const json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// Whether the member `key` is the boolean `value`.
bool Is(const json& object, const char* key, bool value) {
  const auto it = object.find(key);
  return it != object.end() && it->is_boolean() && it->get<bool>() == value;
}

// The fields both layouts share, from the names each gives them; UTF-8
// text becomes single-byte text.
struct Fields {
  std::string Mode, Label, BlockId, Registration, MessageNumber, Flight, Content;
};

// The field as single-byte text; false when it is longer than its place
// in the frame, where it would move every later field.
bool Field(const std::string& utf8, std::size_t width, std::string& out) {
  out = Utf8ToSingleByte(utf8);
  return out.size() <= width;
}

JsonMessage MessageOf(const Fields& f, DecoderSource source) {
  AcarsMessage m;
  m.Source = source;
  std::string registration;
  if (!Field(f.Mode, kModeWidth, m.Mode) || !Field(f.Registration, kRegistrationLength, registration) ||
      !Field(f.Label, kLabelWidth, m.MessageLabel) || !Field(f.BlockId, kBlockIdWidth, m.BlockID)) {
    return {std::nullopt, JsonSkip::FieldTooLong};
  }
  m.AircraftReg = PaddedRegistration(registration);
  // Message number and flight have a place only in a downlink's frame.
  if (IsDownlinkBlockId(m.BlockID) && (!Field(f.MessageNumber, kMessageNumberWidth, m.MessageNumber) ||
                                       !Field(f.Flight, kFlightWidth, m.FlightNumber))) {
    return {std::nullopt, JsonSkip::FieldTooLong};
  }
  SetDirection(m);
  m.MessageContent = Utf8ToSingleByte(f.Content);
  return {std::move(m), JsonSkip::None};
}

// The object `key` of `object`, or null when either is missing or not an
// object.
const json* Member(const json* object, const char* key) {
  if (!object || !object->is_object()) return nullptr;
  const auto it = object->find(key);
  return it != object->end() && it->is_object() ? &*it : nullptr;
}

// The ACARS object that dumpvdl2 and dumphfdl share, however deep each
// puts it.
JsonMessage FromAcarsPart(const json* acars, DecoderSource source) {
  if (!acars) return {std::nullopt, JsonSkip::NotAcars};
  // A frame whose check failed is as bad as one with an error.
  if (Is(*acars, "err", true) || Is(*acars, "crc_ok", false)) return {std::nullopt, JsonSkip::DecodingError};
  if (Is(*acars, "more", true)) return {std::nullopt, JsonSkip::Partial};
  const Fields f{Text(*acars, "mode"),
                 Text(*acars, "label"),
                 Text(*acars, "blk_id"),
                 Text(*acars, "reg"),
                 Text(*acars, "msg_num") + Text(*acars, "msg_num_seq"),
                 Text(*acars, "flight"),
                 Text(*acars, "msg_text")};
  return MessageOf(f, source);
}

}  // namespace

std::string PaddedRegistration(std::string_view tail) {
  if (tail.size() >= kRegistrationLength) return std::string(tail);
  return std::string(kRegistrationLength - tail.size(), '.') + std::string(tail);
}

std::string MessageToJsonLine(const AcarsMessage& m, const JsonFeedInfo& info) {
  ordered_json o;
  o["timestamp"] = info.Timestamp;
  if (info.StationId) o["station_id"] = SingleByteToUtf8(*info.StationId);
  o["freq"] = info.Freq;
  o["channel"] = info.Channel;
  o["error"] = 0;
  auto optional = [&](const char* key, const std::string& value) {
    if (!value.empty()) o[key] = SingleByteToUtf8(value);
  };
  optional("mode", m.Mode);
  optional("label", m.MessageLabel);
  optional("block_id", m.BlockID);
  o["ack"] = false;
  const auto firstNotDot = m.AircraftReg.find_first_not_of('.');
  optional("tail", firstNotDot == std::string::npos ? std::string() : m.AircraftReg.substr(firstNotDot));
  if (m.Uplink == 0 && m.Squitter == 0) {
    optional("flight", m.FlightNumber);
    optional("msgno", m.MessageNumber);
  }
  // The decoders end the text with the line end they print after its last
  // line; JSON readers take the text as the aircraft sent it, and match
  // position reports up to its last character.
  std::string_view text = m.MessageContent;
  if (text.ends_with("\r\n")) text.remove_suffix(2);
  o["text"] = SingleByteToUtf8(text);
  o["app"] = {{"name", "TolvanDDE"}, {"ver", info.AppVersion}};
  return o.dump() + "\n";
}

JsonMessage MessageFromJson(std::string_view object, DecoderSource source) {
  const json j = ParseJson<json>(object);
  if (j.is_discarded() || !j.is_object()) return {std::nullopt, JsonSkip::NotJson};

  // The nested layouts: only frames with an ACARS part are messages.
  if (const auto vdl2 = j.find("vdl2"); vdl2 != j.end()) {
    return FromAcarsPart(Member(Member(&*vdl2, "avlc"), "acars"), source);
  }
  if (const auto hfdl = j.find("hfdl"); hfdl != j.end()) {
    return FromAcarsPart(Member(Member(Member(&*hfdl, "lpdu"), "hfnpdu"), "acars"), source);
  }

  // The flat layout: a message has a label; a reassembling decoder sends the
  // whole text in its "complete" object, so its other states are left out.
  if (Text(j, "label").empty()) return {std::nullopt, JsonSkip::NotAcars};
  const std::string state = Text(j, "assstat");
  if (state == "in progress" || state == "out of sequence" || state == "duplicate") {
    return {std::nullopt, JsonSkip::Partial};
  }
  const Fields f{Text(j, "mode"),  Text(j, "label"),  Text(j, "block_id"), Text(j, "tail"),
                 Text(j, "msgno"), Text(j, "flight"), Text(j, "text")};
  return MessageOf(f, source);
}

const char* JsonSkipText(JsonSkip skip) {
  switch (skip) {
    case JsonSkip::None:
      return "";
    case JsonSkip::NotJson:
      return "not JSON";
    case JsonSkip::NotAcars:
      return "not ACARS";
    case JsonSkip::Partial:
      return "partial";
    case JsonSkip::DecodingError:
      return "decoding error";
    case JsonSkip::FieldTooLong:
      return "a field too long for its place";
  }
  return "";
}
