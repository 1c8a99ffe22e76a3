#pragma once
// The parser of the labelled text that a decoder publishes for each message.
// Pure functions: no state, no I/O, safe on any input.

#include <cstdint>
#include <string>
#include <string_view>

#include "pipeline/acars_message.h"

namespace REZUZ2ARI {

// The at most `count` characters that follow the first occurrence of `label`
// in `text`; empty when the label does not occur.
std::string ExtractField(std::string_view label, std::string_view text, int count);

// Parses a normalised decoder text (CR LF line ends) into a new record.
AcarsMessage ParseDecoderText(std::string_view text, DecoderSource source);
// The same into `message`, whose strings keep their room for the next text.
void ParseDecoderText(std::string_view text, DecoderSource source, AcarsMessage& message);

}  // namespace REZUZ2ARI
