#pragma once
// The 16-byte header in front of every frame text on the client stream.

#include <array>
#include <cstdint>
#include <string_view>

struct FrameHeader {
  std::int32_t Length = 0;    // bytes of frame text that follow
  std::int32_t Squitter = 0;  // 0 or 1
  std::int32_t Uplink = 0;    // 0 or 1
  std::int32_t Source = 0;    // a DecoderSource number, as it stands on the wire

  static constexpr std::size_t kSize = 16;
  using Bytes = std::array<std::uint8_t, kSize>;

  // The four values as 32-bit little-endian integers, on any host.
  Bytes ToBytes() const;
  // The inverse, for readers of the stream.
  static FrameHeader FromBytes(const Bytes& bytes);
};

struct AcarsMessage;
// The header for a frame text built from `message`.
FrameHeader MakeFrameHeader(std::string_view frameText, const AcarsMessage& message);
