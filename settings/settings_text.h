#pragma once
// The bytes of a settings file as text, and back. The file may be UTF-8
// (with or without a byte order mark), UTF-16 LE with a byte order mark (what
// Notepad saves as "Unicode"), or, when its bytes are not UTF-8, Windows-1252
// (an older "ANSI" file). The program works on UTF-8 and writes the file
// back in the encoding it had, so that the editor that made it reads it
// again.
// No platform header: parsed and tested natively.

#include <optional>
#include <string>
#include <string_view>

#include "settings/settings.h"

enum class TextEncoding { Utf8, Utf8Bom, Utf16LeBom, Windows1252 };

struct DecodedText {
  std::string Utf8;
  TextEncoding Encoding = TextEncoding::Utf8;
};

// The file's text as UTF-8, without its byte order mark, and its encoding.
DecodedText DecodeSettingsText(std::string_view bytes);

// `utf8` as the bytes of a file in `encoding`; nothing when the encoding
// cannot hold one of its characters (Windows-1252 holds only its 256).
std::optional<std::string> EncodeSettingsText(std::string_view utf8, TextEncoding encoding);

// The name the user knows the encoding by, for messages.
const char* EncodingName(TextEncoding encoding);

// Every section and key of a settings file's text: "[section]" lines, then
// "key=value" lines (both trimmed; a key given twice keeps its last value);
// lines starting with ';' or '#' and blank lines are comments, lines before
// the first section are ignored. Raises SettingsError for any other line.
SettingsFile ParseSettingsText(const std::string& utf8);
