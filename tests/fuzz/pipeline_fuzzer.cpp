// Feeds arbitrary bytes to the pipeline as decoder text and checks what must
// hold for every record that could go on the wire.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "pipeline/acars_json.h"
#include "pipeline/decoder_text_normaliser.h"
#include "pipeline/decoder_text_parser.h"
#include "pipeline/forwarding.h"
#include "pipeline/frame_reader.h"
#include "pipeline/json_framer.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The normalisation written as its four plain passes, to hold the one-pass
// version to.
std::string ReplaceEvery(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  std::size_t pos = 0;
  for (auto hit = text.find(from); hit != std::string_view::npos; hit = text.find(from, pos)) {
    out.append(text, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
  }
  return out.append(text, pos);
}

std::string ReferenceNormalise(std::string_view text) {
  std::string s = ReplaceEvery(text, "ACARS mode:  ", "ACARS mode: ");
  s = ReplaceEvery(s, "Aircraft reg:  ", " Aircraft reg: ");
  s = ReplaceEvery(s, "\n", "\r\n");
  return ReplaceEvery(s, "\r\r", "\r");
}

bool IsDigit(const std::string& s) {
  return s.size() == 1 && s[0] >= '0' && s[0] <= '9';
}

void CheckRecord(const AcarsMessage& m) {
  Check(m.Uplink + m.Squitter <= 1);
  Check(m.Uplink >= 0 && m.Squitter >= 0);
  if (IsDigit(m.BlockID)) {
    Check(m.Uplink == 0 && m.Squitter == 0);
  } else {
    Check(m.MessageNumber.empty() && m.FlightNumber.empty());
  }
  Check(m.Mode.size() <= 1 && m.AircraftReg.size() <= 7 && m.MessageLabel.size() <= 2 && m.BlockID.size() <= 1);
  Check(m.MessageNumber.size() <= 4 && m.FlightNumber.size() <= 6);
}

// The same bytes as a JSON feed: cut into objects (in two pieces, as over a
// stream), each converted; every message makes a well-formed record.
void FuzzJsonInput(std::string_view bytes, DecoderSource source) {
  JsonFramer framer;
  framer.Feed(bytes.substr(0, bytes.size() / 2));
  framer.Feed(bytes.substr(bytes.size() / 2));
  framer.EndOfDatagram();
  while (const auto object = framer.Next()) {
    Check(object->size() <= JsonFramer::kMaxObject && object->front() == '{' && object->back() == '}');
    const JsonMessage in = MessageFromJson(*object, source);
    Check(in.Message.has_value() == (in.Skip == JsonSkip::None));
    if (!in.Message) continue;
    const AcarsMessage& m = *in.Message;
    Check(m.Uplink + m.Squitter <= 1 && m.AircraftReg.size() >= 7);
    Check(m.Mode.size() <= 1 && m.MessageLabel.size() <= 2 && m.BlockID.size() <= 1);
    Check(m.MessageNumber.size() <= 4 && m.FlightNumber.size() <= 6);
    const ForwardedMessage f = PrepareParsedMessage(m);
    Check(CheckHeader(f.Header, RecordReader::kMaxFrame).empty());
    Check(f.Header.Length == static_cast<std::int32_t>(f.Frame().size()));
  }
}

// A message out as JSON: one line of valid UTF-8 that parses back.
void FuzzJsonOutput(const AcarsMessage& m) {
  JsonFeedInfo info;
  info.Timestamp = 1765190400.5;
  info.StationId = m.AircraftReg;
  const std::string line = MessageToJsonLine(m, info);
  Check(!line.empty() && line.back() == '\n' && line.find('\n') == line.size() - 1);
  const auto j = nlohmann::json::parse(line, nullptr, false);
  Check(!j.is_discarded() && j.is_object() && j["text"].is_string());
  // Read back, it is the same message; without a label it is none to any
  // JSON reader, this program's own included.
  const JsonMessage back = MessageFromJson(line, m.Source);
  if (m.MessageLabel.empty()) {
    Check(back.Skip == JsonSkip::NotAcars);
    return;
  }
  // The text comes back without the one line end after its last line.
  const std::string& content = m.MessageContent;
  const bool lineEnd = content.size() >= 2 && content.compare(content.size() - 2, 2, "\r\n") == 0;
  Check(back.Message && back.Message->MessageContent == content.substr(0, content.size() - (lineEnd ? 2 : 0)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const DecoderSource source = size % 3 == 0   ? DecoderSource::SkySpy
                               : size % 3 == 1 ? DecoderSource::Airmaster
                                               : DecoderSource::AirNavPosfix;

  Check(NormaliseDecoderText(text) == ReferenceNormalise(text));
  FuzzJsonInput(text, source);

  // The parser alone, on text that was not normalised.
  CheckRecord(REZUZ2ARI::ParseDecoderText(text, source));

  const auto f = PrepareMessage(text, source);
  if (!f) {
    Check(size <= 10);
    return 0;
  }
  const AcarsMessage& m = f->Message;
  CheckRecord(m);
  Check(m.Source == source);
  // The one pass over the labels finds what a search per label finds.
  Check(m.AircraftReg == REZUZ2ARI::ExtractField("Aircraft reg: ", f->Normalised, 7));
  Check(m.MessageLabel == REZUZ2ARI::ExtractField("Message label: ", f->Normalised, 2));
  Check(m.BlockID == REZUZ2ARI::ExtractField("Block id: ", f->Normalised, 1));
  if (IsDownlinkBlockId(m.BlockID) && m.MessageLabel != "HF") {
    Check(m.MessageNumber == REZUZ2ARI::ExtractField("Msg. no: ", f->Normalised, 4));
    Check(m.FlightNumber == REZUZ2ARI::ExtractField("Flight id: ", f->Normalised, 6));
  }
  // Buffers used for every input before give the same message and record.
  static ForwardedMessage reused;
  Check(PrepareMessage(text, source, reused));
  Check(reused.Normalised == f->Normalised && reused.Message == m && reused.Record == f->Record);
  Check(f->Frame().size() == 7 + m.Mode.size() + m.AircraftReg.size() + m.MessageLabel.size() + m.BlockID.size() +
                                 m.MessageNumber.size() + m.FlightNumber.size() + m.MessageContent.size());
  Check(f->Header.Length == static_cast<std::int32_t>(f->Frame().size()));
  Check(f->Header.Uplink == m.Uplink && f->Header.Squitter == m.Squitter && f->Header.Source == SourceNumber(source));
  Check(CheckHeader(f->Header, RecordReader::kMaxFrame).empty());

  // What a client reads back is the same record.
  RecordReader reader;
  reader.Feed(RecordBytes(*f));
  const auto record = reader.Next();
  Check(record && record->Frame == f->Frame() && reader.Buffered() == 0);
  (void)ForwardLogDescription(*f);
  FuzzJsonOutput(m);
  return 0;
}
