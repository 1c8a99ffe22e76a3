#pragma once
// One line of a capture file: what one input received, when, and exactly
// what it was. A decoder's text is single-byte (Windows-1252) and goes into
// the line as UTF-8, which converts back to the very same bytes; a JSON
// object goes in as the object (or, when it was no JSON, as the text that
// came). Lines are JSON, one per line, in the order the texts arrived:
//   {"input":"SkySpy","time":"2026-12-08T19:26:20.123456Z","text":"ACARS mode: 2 ..."}
//   {"input":"udp:5550","time":"2026-12-08T19:26:20.654321Z","object":{"label":"H1",...}}
// No platform header: written by the bridge, read by the decoder simulator,
// tested natively.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct CaptureRecord {
  enum class Kind { Text, Object };
  std::string Input;        // the input's name, as the bridge's statistics show it
  std::int64_t Micros = 0;  // when it arrived: microseconds since 1970-01-01 UTC
  Kind Type = Kind::Text;
  std::string Content;  // Text: the decoder's bytes; Object: the JSON text as it came

  bool operator==(const CaptureRecord&) const = default;
};

// The record as one line, without the line end.
std::string CaptureLine(const CaptureRecord& record);

// The record a line holds, or nothing with `why` when it holds none.
std::optional<CaptureRecord> ParseCaptureLine(std::string_view line, std::string& why);

// "2026-12-08T19:26:20.123456Z" and back; nothing for a time of another form.
std::string UtcTimeText(std::int64_t micros);
std::optional<std::int64_t> ParseUtcTimeText(std::string_view text);
