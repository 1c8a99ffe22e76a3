#include "settings/settings_text.h"

#include "pipeline/single_byte_text.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

}  // namespace

DecodedText DecodeSettingsText(std::string_view bytes) {
  if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    return {std::string(bytes.substr(kUtf8Bom.size())), TextEncoding::Utf8Bom};
  }
  if (bytes.substr(0, kUtf16LeBom.size()) == kUtf16LeBom) {
    std::u16string wide((bytes.size() - kUtf16LeBom.size()) / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
      const auto low = static_cast<unsigned char>(bytes[2 + 2 * i]);
      const auto high = static_cast<unsigned char>(bytes[3 + 2 * i]);
      wide[i] = static_cast<char16_t>(low | (high << 8));
    }
    return {Utf16ToUtf8(wide), TextEncoding::Utf16LeBom};
  }
  if (IsUtf8(bytes)) return {std::string(bytes), TextEncoding::Utf8};
  return {SingleByteToUtf8(bytes), TextEncoding::Windows1252};
}

std::optional<std::string> EncodeSettingsText(std::string_view utf8, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8:
      return std::string(utf8);
    case TextEncoding::Utf8Bom:
      return std::string(kUtf8Bom) + std::string(utf8);
    case TextEncoding::Utf16LeBom: {
      std::string bytes(kUtf16LeBom);
      for (const char16_t c : Utf8ToUtf16(utf8)) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
      }
      return bytes;
    }
    case TextEncoding::Windows1252: {
      std::string bytes = Utf8ToSingleByte(utf8);
      // A character the code page lacks became '?': it cannot be kept.
      if (SingleByteToUtf8(bytes) != utf8) return std::nullopt;
      return bytes;
    }
  }
  return std::nullopt;
}

const char* EncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8:
      return "UTF-8";
    case TextEncoding::Utf8Bom:
      return "UTF-8 with BOM";
    case TextEncoding::Utf16LeBom:
      return "UTF-16 LE (Unicode)";
    case TextEncoding::Windows1252:
      return "Windows-1252 (ANSI)";
  }
  return "";
}

SettingsFile ParseSettingsText(const std::string& utf8) {
  SettingsFile settings;
  std::map<std::string, std::string>* keys = nullptr;
  std::string section;
  std::size_t at = 0;
  while (at < utf8.size()) {
    auto end = utf8.find('\n', at);
    if (end == std::string::npos) end = utf8.size();
    const std::string line = Trim(utf8.substr(at, end - at));  // a CR before the LF is a blank
    at = end + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = Trim(line.substr(1, line.size() - 2));
      keys = &settings[section];
      continue;
    }
    if (!keys) continue;
    const auto equals = line.find('=');
    if (equals == std::string::npos)
      throw SettingsError("[" + section + "] " + line + ": a line key=value is allowed.");
    (*keys)[Trim(line.substr(0, equals))] = Trim(line.substr(equals + 1));
  }
  return settings;
}
