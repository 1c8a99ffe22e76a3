#include "settings/settings_writer.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <optional>
#include <vector>

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The section a "[name]" line opens, in lower case.
std::optional<std::string> SectionOf(const std::string& line) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return std::nullopt;
  return Lower(Trim(t.substr(1, t.size() - 2)));
}

bool IsComment(const std::string& line) {
  const std::string t = Trim(line);
  return !t.empty() && (t[0] == ';' || t[0] == '#');
}

// The key of a "key=value" line, in lower case; of a commented-out one when
// `commented` ("; key=value", the example files' way of showing a default).
std::optional<std::string> KeyOf(const std::string& line, bool commented) {
  std::string t = Trim(line);
  if (IsComment(t) != commented) return std::nullopt;
  if (commented) t = t.substr(1);
  const auto equals = t.find('=');
  if (equals == std::string::npos || SectionOf(t)) return std::nullopt;
  const std::string key = Lower(Trim(t.substr(0, equals)));
  if (key.empty() || key.find_first_of(" \t;#") != std::string::npos) return std::nullopt;
  return key;
}

struct Lines {
  std::vector<std::string> Text;  // without their line ends
  std::string End = "\r\n";

  // The first line of `section` and the line after its last one; nullopt
  // when the file has no such section.
  std::optional<std::pair<std::size_t, std::size_t>> Section(const std::string& section) const {
    for (std::size_t i = 0; i < Text.size(); ++i) {
      if (SectionOf(Text[i]) != section) continue;
      std::size_t end = i + 1;
      while (end < Text.size() && !SectionOf(Text[end])) ++end;
      return std::make_pair(i, end);
    }
    return std::nullopt;
  }
};

Lines Split(const std::string& text) {
  Lines lines;
  if (text.find("\r\n") == std::string::npos && text.find('\n') != std::string::npos) lines.End = "\n";
  std::size_t at = 0;
  while (at < text.size()) {
    auto end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.Text.push_back(line);
    at = end + 1;
  }
  return lines;
}

// The place of a key in the order of the options; past the end for keys
// the program does not know.
std::size_t OrderOf(const std::string& key) {
  const std::vector<SettingKey> keys = SettingKeys();
  std::size_t i = 0;
  while (i < keys.size() && keys[i].Key != key) ++i;
  return i;
}

// Where a key that is not in the file goes in its section [first, end):
// after its commented-out example; else after the keys that come before it
// in the order of the options, or before those that come after it; else at
// the end of the section, before its trailing blank lines.
std::size_t InsertionPoint(const Lines& lines, std::size_t first, std::size_t end, const std::string& key) {
  for (std::size_t i = first + 1; i < end; ++i) {
    if (KeyOf(lines.Text[i], true) == key) return i + 1;
  }
  const std::size_t order = OrderOf(key);
  std::optional<std::size_t> after, before;
  for (std::size_t i = first + 1; i < end; ++i) {
    const auto other = KeyOf(lines.Text[i], false);
    if (!other) continue;
    if (OrderOf(*other) < order) {
      after = i + 1;
    } else if (!before) {
      before = i;
    }
  }
  if (after) return *after;
  if (before) return *before;
  std::size_t last = end;
  while (last > first + 1 && Trim(lines.Text[last - 1]).empty()) --last;
  return last;
}

}  // namespace

std::string UpdateSettingsText(const std::string& text, const SettingsFile& values) {
  Lines lines = Split(text);
  // The values by lower-case section and key, for the file's own spelling.
  std::map<std::string, std::map<std::string, std::string>> wanted;
  for (const auto& [section, keys] : values) {
    for (const auto& [key, value] : keys) wanted[Lower(section)][Lower(key)] = value;
  }

  // Keys that are there: the new value in place, or the line goes.
  std::map<std::string, std::map<std::string, bool>> present;
  std::string section;
  std::vector<std::string> kept;
  for (const std::string& line : lines.Text) {
    if (const auto opened = SectionOf(line)) section = *opened;
    const auto key = KeyOf(line, false);
    const auto found = key ? wanted[section].find(*key) : wanted[section].end();
    if (found == wanted[section].end()) {
      kept.push_back(line);
      continue;
    }
    present[section][*key] = true;
    if (found->second.empty()) continue;
    // Keep the spacing around '=' as the user wrote it.
    const auto equals = line.find('=');
    const auto valueAt = line.find_first_not_of(" \t", equals + 1);
    kept.push_back(line.substr(0, valueAt == std::string::npos ? equals + 1 : valueAt) + found->second);
  }
  lines.Text = kept;

  // Keys that are not there, in the order of the options.
  std::vector<std::string> appended;  // sections added at the end
  for (const SettingKey& key : SettingKeys()) {
    const auto s = wanted.find(key.Section);
    if (s == wanted.end()) continue;
    const auto v = s->second.find(key.Key);
    if (v == s->second.end() || v->second.empty() || v->second == key.Default) continue;
    if (present[key.Section][key.Key]) continue;
    const std::string line = key.Key + "=" + v->second;
    if (const auto range = lines.Section(key.Section)) {
      const std::size_t at = InsertionPoint(lines, range->first, range->second, key.Key);
      lines.Text.insert(lines.Text.begin() + static_cast<std::ptrdiff_t>(at), line);
      continue;
    }
    // A new section; a blank line sets it apart from what is above.
    if (!lines.Text.empty() && !Trim(lines.Text.back()).empty()) lines.Text.emplace_back();
    lines.Text.push_back("[" + key.Section + "]");
    lines.Text.push_back(line);
  }

  std::string result;
  for (const std::string& line : lines.Text) result += line + lines.End;
  return result;
}
