#include "forwarding.h"

#include "acars_frame.h"
#include "decoder_text_normaliser.h"
#include "decoder_text_parser.h"

namespace {
constexpr std::size_t kShortestMessage = 11;
}

std::optional<ForwardedMessage> PrepareMessage(std::string_view inMsg, DecoderSource source) {
  if (inMsg.size() < kShortestMessage) return std::nullopt;
  ForwardedMessage f;
  f.Normalised = NormaliseDecoderText(inMsg);
  f.Message = REZUZ2ARI::ParseDecoderText(f.Normalised, source);
  f.Frame = REZUZ2ARI::BuildAcarsFrame(f.Message);
  f.Header = MakeFrameHeader(f.Frame, f.Message);
  return f;
}

ForwardedMessage PrepareParsedMessage(AcarsMessage message) {
  ForwardedMessage f;
  const AcarsMessage& m = message;
  f.Normalised = "ACARS mode: " + m.Mode + " Aircraft reg: " + m.AircraftReg + "\r\nMessage label: " + m.MessageLabel +
                 " Block id: " + m.BlockID + " Msg. no: " + m.MessageNumber + "\r\nFlight id: " + m.FlightNumber +
                 "\r\nMessage content:-\r\n" + m.MessageContent + "\r\n";
  f.Message = std::move(message);
  f.Frame = REZUZ2ARI::BuildAcarsFrame(f.Message);
  f.Header = MakeFrameHeader(f.Frame, f.Message);
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
  return f.Message.AircraftReg + " " + f.Message.FlightNumber + "\r\n" + f.Frame +
         "\r\nBytes: " + std::to_string(firstByte);
}

std::string RecordBytes(const ForwardedMessage& f) {
  const FrameHeader::Bytes header = f.Header.ToBytes();
  std::string bytes(header.begin(), header.end());
  return bytes + f.Frame;
}
