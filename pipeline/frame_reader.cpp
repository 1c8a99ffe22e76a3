#include "pipeline/frame_reader.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "pipeline/decoder_source.h"

std::string CheckHeader(const FrameHeader& h, std::int32_t maxLength) {
  if (h.Length < 7 || h.Length > maxLength) return "frame length " + std::to_string(h.Length) + " out of range";
  if ((h.Squitter != 0 && h.Squitter != 1) || (h.Uplink != 0 && h.Uplink != 1)) return "flags not 0 or 1";
  if (h.Squitter == 1 && h.Uplink == 1) return "both uplink and squitter";
  if (!SourceFromNumber(h.Source)) return "unknown source " + std::to_string(h.Source);
  return {};
}

std::optional<Record> RecordReader::Next() {
  if (!error_.empty() || Buffered() < FrameHeader::kSize) return std::nullopt;
  FrameHeader::Bytes bytes;
  std::memcpy(bytes.data(), buffer_.data() + offset_, FrameHeader::kSize);
  const FrameHeader header = FrameHeader::FromBytes(bytes);
  if (std::string why = CheckHeader(header, kMaxFrame); !why.empty()) {
    error_ = std::move(why);
    return std::nullopt;
  }
  const auto length = static_cast<std::size_t>(header.Length);
  if (Buffered() < FrameHeader::kSize + length) return std::nullopt;
  Record record{header, buffer_.substr(offset_ + FrameHeader::kSize, length)};
  offset_ += FrameHeader::kSize + length;
  if (offset_ > (1u << 20) && offset_ * 2 > buffer_.size()) {  // drop what has been read
    buffer_.erase(0, offset_);
    offset_ = 0;
  }
  return record;
}

std::optional<FrameFields> ParseFrameText(std::string_view f) {
  constexpr std::string_view kStart = "*\x16\x16\x01";
  if (f.size() < 7 || f.substr(0, 4) != kStart || f.back() != '\x03') return std::nullopt;
  FrameFields out;
  std::size_t at = 4;
  const auto nak = f.find('\x15', at);
  if (nak == std::string_view::npos) return std::nullopt;
  if (nak > at) {
    out.Mode = f.substr(at, 1);
    out.Address = f.substr(at + 1, nak - at - 1);
  }
  at = nak + 1;
  const auto stx = f.find('\x02', at);
  if (stx == std::string_view::npos || stx - at > 3) return std::nullopt;
  out.Label = f.substr(at, std::min<std::size_t>(2, stx - at));
  if (stx - at == 3) out.BlockId = f.substr(at + 2, 1);
  at = stx + 1;
  const std::size_t end = f.size() - 1;
  if (out.BlockId.size() == 1 && out.BlockId[0] >= '0' && out.BlockId[0] <= '9') {
    out.MessageNumber = f.substr(at, std::min<std::size_t>(4, end - at));
    at += out.MessageNumber.size();
    out.FlightId = f.substr(at, std::min<std::size_t>(6, end - at));
    at += out.FlightId.size();
  }
  out.Text = f.substr(at, end - at);
  return out;
}

std::string ShowControls(std::string_view text) {
  static constexpr std::array<const char*, 32> kNames = {
      "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT", "LF",  "VT",  "FF", "CR", "SO", "SI",
      "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN", "EM", "SUB", "ESC", "FS", "GS", "RS", "US"};
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32) {
      out.append("<").append(kNames[u]).append(">");
    } else if (u == 127) {
      out.append("<DEL>");
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

const char* SourceNameOf(std::int32_t number) {
  const auto source = SourceFromNumber(number);
  return source ? SourceName(*source) : "?";
}

}  // namespace

std::string DescribeRecord(const Record& r, long number) {
  const char* kind = r.Header.Uplink ? "uplink" : r.Header.Squitter ? "squitter" : "downlink";
  std::string out = "#" + std::to_string(number) + " source " + std::to_string(r.Header.Source) + " (" +
                    SourceNameOf(r.Header.Source) + ") " + kind + ", " + std::to_string(r.Header.Length) + " bytes\n";
  const auto f = ParseFrameText(r.Frame);
  if (!f) return out + "    malformed frame text: " + ShowControls(r.Frame) + "\n";
  out += "    mode " + ShowControls(f->Mode) + "  reg " + ShowControls(f->Address) + "  label " +
         ShowControls(f->Label) + "  block " + ShowControls(f->BlockId);
  if (!f->MessageNumber.empty() || !f->FlightId.empty()) {
    out += "  msg " + ShowControls(f->MessageNumber) + "  flight " + ShowControls(f->FlightId);
  }
  return out + "\n    text " + ShowControls(f->Text) + "\n";
}

std::string HexDump(std::string_view bytes) {
  std::string out;
  char cell[32];
  for (std::size_t i = 0; i < bytes.size(); i += 16) {
    std::snprintf(cell, sizeof cell, "    %04zx ", i);
    out += cell;
    for (std::size_t j = i; j < i + 16; ++j) {
      if (j < bytes.size()) {
        std::snprintf(cell, sizeof cell, " %02X", static_cast<unsigned char>(bytes[j]));
        out += cell;
      } else {
        out += "   ";
      }
    }
    out += "  ";
    for (std::size_t j = i; j < i + 16 && j < bytes.size(); ++j) {
      const auto c = static_cast<unsigned char>(bytes[j]);
      out += c >= 32 && c < 127 ? static_cast<char>(c) : '.';
    }
    out += '\n';
  }
  return out;
}
