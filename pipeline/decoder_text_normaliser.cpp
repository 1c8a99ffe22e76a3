#include "decoder_text_normaliser.h"

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

}  // namespace

std::string NormaliseDecoderText(std::string_view text) {
  std::string s = ReplaceAll(text, "ACARS mode:  ", "ACARS mode: ");
  s = ReplaceAll(s, "Aircraft reg:  ", " Aircraft reg: ");
  s = ReplaceAll(s, "\n", "\r\n");
  return ReplaceAll(s, "\r\r", "\r");
}
