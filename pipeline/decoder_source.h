#pragma once
// The decoder source number that every record's header carries: which kind
// of decoder the message came from. AirNav and Posfix share one number.

#include <cstdint>
#include <optional>

enum class DecoderSource : std::int32_t {
  SkySpy = 0,
  Airmaster = 1,
  Other = 2,  // no decoder of the four uses it; a JSON feed may be told to
  AirNavPosfix = 3,
};

constexpr std::int32_t SourceNumber(DecoderSource source) {
  return static_cast<std::int32_t>(source);
}

// The source a header's number names; nullopt for a number no decoder uses.
constexpr std::optional<DecoderSource> SourceFromNumber(std::int32_t number) {
  switch (number) {
    case SourceNumber(DecoderSource::SkySpy):
    case SourceNumber(DecoderSource::Airmaster):
    case SourceNumber(DecoderSource::Other):
    case SourceNumber(DecoderSource::AirNavPosfix):
      return static_cast<DecoderSource>(number);
    default:
      return std::nullopt;
  }
}

// "SkySpy", "Airmaster", "AirNav/Posfix".
constexpr const char* SourceName(DecoderSource source) {
  switch (source) {
    case DecoderSource::SkySpy:
      return "SkySpy";
    case DecoderSource::Airmaster:
      return "Airmaster";
    case DecoderSource::Other:
      return "Other";
    case DecoderSource::AirNavPosfix:
      return "AirNav/Posfix";
  }
  return "?";
}
