#include "pipeline/decoder_text_normaliser.h"

#include <algorithm>

#include "pipeline/label_at_colon.h"

namespace {

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  std::size_t pos = 0;
  for (auto hit = text.find(from); hit != std::string_view::npos; hit = text.find(from, pos)) {
    out.append(text, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text, pos);
  return out;
}

// LF to CR LF, then every CR CR to CR (left to right, without overlaps), in
// one pass: the second step runs on the output of the first as it is made.
// Whether the line breaks are already as they end up: every LF after a CR,
// and no CR after a CR. Decoder texts mostly are, and are then copied whole.
bool LineBreaksAreCrLf(std::string_view text) {
  for (auto lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', lf + 1)) {
    if (lf == 0 || text[lf - 1] != '\r') return false;
  }
  for (auto cr = text.find('\r'); cr != std::string_view::npos; cr = text.find('\r', cr + 1)) {
    if (cr + 1 < text.size() && text[cr + 1] == '\r') return false;
  }
  return true;
}

void LineBreaksToCrLf(std::string_view text, std::string& out) {
  if (LineBreaksAreCrLf(text)) {
    out.assign(text);
    return;
  }
  out.clear();
  out.reserve(text.size() + text.size() / 16 + 2);
  bool pendingCr = false;  // a CR that may still pair with the next one
  auto putCr = [&] {
    if (pendingCr) out += '\r';  // CR CR becomes one CR
    pendingCr = !pendingCr;
  };
  auto flush = [&] {
    if (pendingCr) out += '\r';
    pendingCr = false;
  };
  // The next CR and the next LF, each looked for again only once passed.
  std::size_t nextCr = text.find('\r'), nextLf = text.find('\n');
  for (std::size_t at = 0; at < text.size();) {
    if (nextCr < at) nextCr = text.find('\r', at);
    if (nextLf < at) nextLf = text.find('\n', at);
    const std::size_t end = std::min({nextCr, nextLf, text.size()});
    if (end > at) {
      flush();
      out.append(text, at, end - at);
    }
    if (end == text.size()) break;
    putCr();  // a CR, or the CR that an LF gets in front of it
    if (text[end] == '\n') {
      flush();
      out += '\n';
    }
    at = end + 1;
  }
  flush();
}

constexpr std::string_view kModeTwoSpaces = "ACARS mode:  ", kRegTwoSpaces = "Aircraft reg:  ";

}  // namespace

void NormaliseDecoderText(std::string_view text, std::string& out) {
  // The two label rules rarely apply; copy only when they do.
  // Both labels in one pass from colon to colon.
  bool fixMode = false, fixReg = false;
  for (std::size_t colon = text.find(':'); colon != std::string_view::npos && !(fixMode && fixReg);
       colon = text.find(':', colon + 1)) {
    if (colon == 0) continue;
    if (text[colon - 1] == 'e') fixMode = fixMode || LabelAtColon(text, colon, kModeTwoSpaces);
    if (text[colon - 1] == 'g') fixReg = fixReg || LabelAtColon(text, colon, kRegTwoSpaces);
  }
  std::string modeFixed, regFixed;
  if (fixMode) text = modeFixed = ReplaceAll(text, kModeTwoSpaces, "ACARS mode: ");
  if (fixReg) text = regFixed = ReplaceAll(text, kRegTwoSpaces, " Aircraft reg: ");
  LineBreaksToCrLf(text, out);
}

std::string NormaliseDecoderText(std::string_view text) {
  std::string out;
  NormaliseDecoderText(text, out);
  return out;
}
