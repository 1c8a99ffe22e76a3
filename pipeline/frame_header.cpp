#include "pipeline/frame_header.h"

#include <limits>

#include "pipeline/acars_message.h"

namespace {

void PutLittleEndian(FrameHeader::Bytes& out, std::size_t at, std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(u >> (8 * i));
}

std::int32_t GetLittleEndian(const FrameHeader::Bytes& in, std::size_t at) {
  std::uint32_t u = 0;
  for (std::size_t i = 0; i < 4; ++i) u |= static_cast<std::uint32_t>(in[at + i]) << (8 * i);
  return static_cast<std::int32_t>(u);
}

}  // namespace

FrameHeader::Bytes FrameHeader::ToBytes() const {
  Bytes bytes{};
  PutLittleEndian(bytes, 0, Length);
  PutLittleEndian(bytes, 4, Squitter);
  PutLittleEndian(bytes, 8, Uplink);
  PutLittleEndian(bytes, 12, Source);
  return bytes;
}

FrameHeader FrameHeader::FromBytes(const Bytes& bytes) {
  return {GetLittleEndian(bytes, 0), GetLittleEndian(bytes, 4), GetLittleEndian(bytes, 8), GetLittleEndian(bytes, 12)};
}

FrameHeader MakeFrameHeader(std::string_view frameText, const AcarsMessage& message) {
  // A frame text is built from one decoder text, which never comes near 2 GB;
  // the clamp only keeps the conversion defined.
  constexpr auto kMax = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
  const auto length = static_cast<std::int32_t>(frameText.size() < kMax ? frameText.size() : kMax);
  return {length, message.Squitter, message.Uplink, SourceNumber(message.Source)};
}
