#pragma once
// The clean-up that the forwarding applies to every decoder text before it
// parses it: stray double spaces after two labels, and line breaks.

#include <string>
#include <string_view>

// In this order, each step left to right without overlaps:
//  "ACARS mode: " + space      -> "ACARS mode: "
//  "Aircraft reg: " + space    -> space + "Aircraft reg: "
//  LF -> CR LF, then CR CR -> CR
// so CR LF and bare LF both end as CR LF, and a bare CR stays.
std::string NormaliseDecoderText(std::string_view text);
// The same into `out`, which keeps its room for the next text.
void NormaliseDecoderText(std::string_view text, std::string& out);
