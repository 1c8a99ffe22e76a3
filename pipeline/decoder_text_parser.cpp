#include "pipeline/decoder_text_parser.h"

#include <algorithm>

#include "pipeline/label_at_colon.h"

namespace REZUZ2ARI {
namespace {

constexpr std::string_view kContentLabel = "Message content:-";
// The content starts on the line after its label: the label plus CR LF.
constexpr std::size_t kContentLabelAndLineBreak = kContentLabel.size() + 2;
constexpr std::string_view kEndOfTextRun = "---------------";         // 15 hyphens
constexpr std::string_view kEndMarker = "------------------------[";  // 24 hyphens and [
// What "Flight id: " yields when nothing follows it on its line and the next
// line is the content label: an HF message without a flight id.
constexpr std::string_view kEmptyFlightId = "\r\nMess";
constexpr std::string_view kNoFlightId = "ZZ0000";

std::string_view TrimSpaces(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

// Characters from `start` (0-based) up to, not including, `end`; empty when
// the range is empty or reversed.
std::string_view Slice(std::string_view text, std::size_t start, std::size_t end) {
  if (start >= text.size() || end <= start) return {};
  return text.substr(start, end - start);
}

// Where each label first stands in a text, found in one pass from colon to
// colon that looks only at the labels whose name ends with the letter
// before it.
struct LabelPositions {
  std::size_t Mode = std::string_view::npos, Reg = std::string_view::npos, Label = std::string_view::npos,
              Block = std::string_view::npos, Number = std::string_view::npos, Flight = std::string_view::npos,
              Content = std::string_view::npos;
};

constexpr std::string_view kMode = "ACARS mode: ", kReg = "Aircraft reg: ", kLabel = "Message label: ",
                           kBlock = "Block id: ", kNumber = "Msg. no: ", kFlight = "Flight id: ";

LabelPositions FindLabels(std::string_view text) {
  LabelPositions at;
  int missing = 7;
  // Notes `label` at the colon `colon` when it stands there and was not
  // found before: the first colon a label matches at is its first occurrence.
  const auto note = [&](std::size_t& where, std::string_view label, std::size_t colon) {
    if (where != std::string_view::npos || !LabelAtColon(text, colon, label)) return;
    where = colon - label.find(':');
    --missing;
  };
  for (std::size_t colon = text.find(':', 1); colon != std::string_view::npos && missing > 0;
       colon = text.find(':', colon + 1)) {
    switch (text[colon - 1]) {
      case 'e':
        note(at.Mode, kMode, colon);
        break;
      case 'g':
        note(at.Reg, kReg, colon);
        break;
      case 'l':
        note(at.Label, kLabel, colon);
        break;
      case 'd':
        note(at.Block, kBlock, colon);
        note(at.Flight, kFlight, colon);
        break;
      case 'o':
        note(at.Number, kNumber, colon);
        break;
      case 't':
        note(at.Content, kContentLabel, colon);
        break;
      default:
        break;
    }
  }
  return at;
}

// The field after a label found at `at`, as ExtractField takes it.
std::string_view FieldAt(std::size_t at, std::string_view label, std::string_view text, std::size_t count) {
  if (at == std::string_view::npos) return {};
  const auto start = at + label.size();
  if (start >= text.size()) return {};
  return text.substr(start, count);
}

}  // namespace

// Positions are held in size_t, so labels anywhere in a text of any length
// are found; nothing here can overflow or index outside the text.
std::string ExtractField(std::string_view label, std::string_view text, int count) {
  // A missing label yields an empty field rather than characters taken from
  // near the start of the text, which would only put noise on the wire.
  if (count <= 0) return {};
  return std::string(FieldAt(text.find(label), label, text, static_cast<std::size_t>(count)));
}

void ParseDecoderText(std::string_view text, DecoderSource source, AcarsMessage& m) {
  const LabelPositions at = FindLabels(text);
  m.Source = source;
  m.Timestamp = 0.0;
  m.Mode.assign(TrimSpaces(FieldAt(at.Mode, kMode, text, 1)));
  m.AircraftReg.assign(FieldAt(at.Reg, kReg, text, 7));
  m.MessageLabel.assign(FieldAt(at.Label, kLabel, text, 2));
  m.BlockID.assign(FieldAt(at.Block, kBlock, text, 1));
  m.MessageNumber.clear();
  m.FlightNumber.clear();
  m.MessageContent.clear();
  if (IsDownlinkBlockId(m.BlockID)) {
    m.MessageNumber.assign(FieldAt(at.Number, kNumber, text, 4));
    m.FlightNumber.assign(FieldAt(at.Flight, kFlight, text, 6));
  }
  SetDirection(m);

  if (at.Content == std::string_view::npos) return;
  const auto contentStart = at.Content + kContentLabelAndLineBreak;

  // The end of the content is searched from its start on: a run of hyphens
  // or a semicolon in the header lines must not end (or reverse) the content.
  const auto searchFrom = std::min(contentStart, text.size());
  if (m.MessageNumber == "0000" && m.MessageLabel == "HF") {
    if (m.FlightNumber == kEmptyFlightId) m.FlightNumber = kNoFlightId;
    if (const auto run = text.find(kEndOfTextRun, searchFrom); run != std::string_view::npos) {
      m.MessageContent.assign(Slice(text, contentStart, run));
    } else if (const auto semi = text.find(';', searchFrom); semi != std::string_view::npos) {
      m.MessageContent.assign(Slice(text, contentStart, semi + 1));
    }
    return;
  }

  // Ordinary messages end at the decoder's closing marker line; without one
  // the content is left empty.
  const auto marker = text.find(kEndMarker);
  if (marker != std::string_view::npos && marker > contentStart) {
    m.MessageContent.assign(Slice(text, contentStart, text.find(kEndOfTextRun, searchFrom)));
  }
}

AcarsMessage ParseDecoderText(std::string_view text, DecoderSource source) {
  AcarsMessage m;
  ParseDecoderText(text, source, m);
  return m;
}

}  // namespace REZUZ2ARI
