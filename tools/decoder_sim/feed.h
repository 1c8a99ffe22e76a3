#pragma once
// A feed of decoder texts: texts one after another, each ended by a line
// that holds only "%%". Line breaks inside a text are kept byte for byte.

#include <string>
#include <string_view>
#include <vector>

std::vector<std::string> SplitFeed(std::string_view bytes);
// Replaces every "{seq}" in `text` with `sequence`, six digits.
std::string NumberText(std::string text, unsigned sequence);
