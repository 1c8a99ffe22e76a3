#include "feed.h"

#include <cstdio>

std::vector<std::string> SplitFeed(std::string_view bytes) {
  std::vector<std::string> texts;
  std::string current;
  std::size_t at = 0;
  while (at < bytes.size()) {
    auto end = bytes.find('\n', at);
    const std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
    std::string_view line = bytes.substr(at, next - at);
    std::string_view bare = line;
    while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r')) bare.remove_suffix(1);
    if (bare == "%%") {
      if (!current.empty()) texts.push_back(std::move(current));
      current.clear();
    } else {
      current.append(line);
    }
    at = next;
  }
  if (!current.empty()) texts.push_back(std::move(current));
  return texts;
}

std::string NumberText(std::string text, unsigned sequence) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%06u", sequence);
  for (auto at = text.find("{seq}"); at != std::string::npos; at = text.find("{seq}", at)) {
    text.replace(at, 5, digits);
  }
  return text;
}
