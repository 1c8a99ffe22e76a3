#include "decoder_text_parser.h"

#include <algorithm>

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

std::string TrimSpaces(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(' ');
  return std::string(s.substr(first, last - first + 1));
}

// Characters from `start` (0-based) up to, not including, `end`; empty when
// the range is empty or reversed.
std::string Slice(std::string_view text, std::size_t start, std::size_t end) {
  if (start >= text.size() || end <= start) return {};
  return std::string(text.substr(start, end - start));
}

}  // namespace

// Positions are held in size_t, so labels anywhere in a text of any length
// are found; nothing here can overflow or index outside the text.
std::string ExtractField(std::string_view label, std::string_view text, int count) {
  const auto at = text.find(label);
  // A missing label yields an empty field rather than characters taken from
  // near the start of the text, which would only put noise on the wire.
  if (at == std::string_view::npos || count <= 0) return {};
  const auto start = at + label.size();
  if (start >= text.size()) return {};
  return std::string(text.substr(start, static_cast<std::size_t>(count)));
}

AcarsMessage ParseDecoderText(std::string_view text, DecoderSource source) {
  AcarsMessage m;
  m.Source = source;
  m.Mode = TrimSpaces(ExtractField("ACARS mode: ", text, 1));
  m.AircraftReg = ExtractField("Aircraft reg: ", text, 7);
  m.MessageLabel = ExtractField("Message label: ", text, 2);
  m.BlockID = ExtractField("Block id: ", text, 1);

  if (IsDownlinkBlockId(m.BlockID)) {
    m.MessageNumber = ExtractField("Msg. no: ", text, 4);
    m.FlightNumber = ExtractField("Flight id: ", text, 6);
  }
  SetDirection(m);

  const auto contentLabel = text.find(kContentLabel);
  if (contentLabel == std::string_view::npos) return m;
  const auto contentStart = contentLabel + kContentLabelAndLineBreak;

  // The end of the content is searched from its start on: a run of hyphens
  // or a semicolon in the header lines must not end (or reverse) the content.
  const auto searchFrom = std::min(contentStart, text.size());
  if (m.MessageNumber == "0000" && m.MessageLabel == "HF") {
    if (m.FlightNumber == kEmptyFlightId) m.FlightNumber = kNoFlightId;
    if (const auto run = text.find(kEndOfTextRun, searchFrom); run != std::string_view::npos) {
      m.MessageContent = Slice(text, contentStart, run);
    } else if (const auto semi = text.find(';', searchFrom); semi != std::string_view::npos) {
      m.MessageContent = Slice(text, contentStart, semi + 1);
    }
    return m;
  }

  // Ordinary messages end at the decoder's closing marker line; without one
  // the content is left empty.
  const auto marker = text.find(kEndMarker);
  if (marker != std::string_view::npos && marker > contentStart) {
    m.MessageContent = Slice(text, contentStart, text.find(kEndOfTextRun, searchFrom));
  }
  return m;
}

}  // namespace REZUZ2ARI
