#pragma once
// Conversions between the program's single-byte text (Windows-1252, one byte
// per character on the wire, in the log and over DDE) and UTF-16, which only
// some window calls want.

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
