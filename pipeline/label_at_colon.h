#pragma once
// Every label of a decoder text holds exactly one colon ("Flight id: ",
// "Message content:-"), so a text's labels are found by going from colon to
// colon, which is quicker than a search per label: texts hold few colons and
// many capitals.

#include <cstddef>
#include <string_view>

// Whether `label` stands in `text` with its colon at `colon`.
inline bool LabelAtColon(std::string_view text, std::size_t colon, std::string_view label) {
  const std::size_t before = label.find(':');
  return colon >= before && colon < text.size() && text.compare(colon - before, label.size(), label) == 0;
}
