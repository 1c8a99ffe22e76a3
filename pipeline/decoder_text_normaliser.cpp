#include "decoder_text_normaliser.h"

#include <algorithm>

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
std::string LineBreaksToCrLf(std::string_view text) {
  std::string out;
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
  return out;
}

}  // namespace

std::string NormaliseDecoderText(std::string_view text) {
  // The two label rules rarely apply; copy only when they do.
  std::string modeFixed, regFixed;
  if (text.find("ACARS mode:  ") != std::string_view::npos)
    text = modeFixed = ReplaceAll(text, "ACARS mode:  ", "ACARS mode: ");
  if (text.find("Aircraft reg:  ") != std::string_view::npos) {
    text = regFixed = ReplaceAll(text, "Aircraft reg:  ", " Aircraft reg: ");
  }
  return LineBreaksToCrLf(text);
}
