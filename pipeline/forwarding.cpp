#include "pipeline/forwarding.h"

#include "pipeline/acars_frame.h"
#include "pipeline/decoder_text_normaliser.h"
#include "pipeline/decoder_text_parser.h"

#include <algorithm>

namespace {
constexpr std::size_t kShortestMessage = 11;

// The frame text goes straight into the record, behind room for the header,
// which its length then fills in.
void BuildRecord(ForwardedMessage& f) {
  f.Record.assign(FrameHeader::kSize, '\0');
  REZUZ2ARI::AppendAcarsFrame(f.Message, f.Record);
  f.Header = MakeFrameHeader(f.Frame(), f.Message);
  const FrameHeader::Bytes header = f.Header.ToBytes();
  std::copy(header.begin(), header.end(), f.Record.begin());
}
}  // namespace

bool PrepareMessage(std::string_view inMsg, DecoderSource source, ForwardedMessage& f) {
  if (inMsg.size() < kShortestMessage) return false;
  NormaliseDecoderText(inMsg, f.Normalised);
  REZUZ2ARI::ParseDecoderText(f.Normalised, source, f.Message);
  BuildRecord(f);
  return true;
}

std::optional<ForwardedMessage> PrepareMessage(std::string_view inMsg, DecoderSource source) {
  ForwardedMessage f;
  if (!PrepareMessage(inMsg, source, f)) return std::nullopt;
  return f;
}

ForwardedMessage PrepareParsedMessage(AcarsMessage message) {
  ForwardedMessage f;
  const AcarsMessage& m = message;
  f.Normalised = "ACARS mode: " + m.Mode + " Aircraft reg: " + m.AircraftReg + "\r\nMessage label: " + m.MessageLabel +
                 " Block id: " + m.BlockID + " Msg. no: " + m.MessageNumber + "\r\nFlight id: " + m.FlightNumber +
                 "\r\nMessage content:-\r\n" + m.MessageContent + "\r\n";
  f.Message = std::move(message);
  BuildRecord(f);
  return f;
}

bool IsDroppedHfMessage(const AcarsMessage& m) {
  return m.MessageLabel == "HF" && m.FlightNumber == "ZZ0000" && m.MessageNumber == "0000";
}

std::string ChangeLogDescription(std::string_view tag, std::string_view text) {
  return std::string(tag) + std::to_string(text.size());
}

std::string ForwardLogDescription(const ForwardedMessage& f) {
  const auto firstByte = static_cast<unsigned>(f.Header.ToBytes()[0]);
  return f.Message.AircraftReg + " " + f.Message.FlightNumber + "\r\n" + std::string(f.Frame()) +
         "\r\nBytes: " + std::to_string(firstByte);
}

const std::string& RecordBytes(const ForwardedMessage& f) {
  return f.Record;
}
