#pragma once
// Conversions between the program's single-byte text (Windows-1252, one byte
// per character on the wire, in the log and over DDE), UTF-16, which the
// window and file calls want, and UTF-8, which JSON, the settings and the
// paths they name use (a path may hold any character).

#include <string>
#include <string_view>

// Every character becomes exactly one byte; characters that the code page
// cannot hold (a surrogate pair counts as one) become '?'.
std::string ToSingleByte(std::u16string_view text);

// Every byte becomes one UTF-16 character.
std::u16string ToUtf16(std::string_view text);

// Single-byte text as UTF-8, for JSON.
std::string SingleByteToUtf8(std::string_view text);
// UTF-8 as single-byte text: one '?' for each character the code page
// cannot hold, and for each byte that is not part of a well-formed UTF-8
// sequence.
std::string Utf8ToSingleByte(std::string_view text);

// Whether `text` is well-formed UTF-8.
bool IsUtf8(std::string_view text);
// UTF-8 as UTF-16 (U+FFFD for each byte that is not well-formed), and back
// (U+FFFD for a lone surrogate).
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
