#pragma once
// Reading the client stream back: records (header and frame text) out of a
// byte stream, and the pieces of a frame text, for the record viewer and the
// tests. No platform header.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pipeline/frame_header.h"

struct Record {
  FrameHeader Header;
  std::string Frame;
};

// What a header must hold: a length that fits the buffer limit, flags 0 or
// 1 (not both set) and a known source. Empty when it is sound; else why not.
std::string CheckHeader(const FrameHeader& header, std::int32_t maxLength);

// Collects stream bytes and hands out whole records.
class RecordReader {
 public:
  static constexpr std::int32_t kMaxFrame = 16 * 1024 * 1024;

  void Feed(std::string_view bytes) { buffer_.append(bytes); }
  // The next whole record, nullopt when more bytes are needed. A header that
  // fails CheckHeader sets Error() and stops the reader.
  std::optional<Record> Next();
  const std::string& Error() const { return error_; }
  std::size_t Buffered() const { return buffer_.size() - offset_; }

 private:
  std::string buffer_;
  std::size_t offset_ = 0;
  std::string error_;
};

// The pieces of a frame text, as far as they can be told apart: the mode is
// one character, the address runs to NAK, the label has two characters and
// the block id one; message number (4) and flight id (6) follow STX only for
// a numeric block id; the text runs to the closing ETX.
struct FrameFields {
  std::string Mode, Address, Label, BlockId, MessageNumber, FlightId, Text;
};
std::optional<FrameFields> ParseFrameText(std::string_view frame);

// Control characters as <CR>, <LF>, <SOH> ...; other bytes as they are.
std::string ShowControls(std::string_view text);

// A record as the viewer prints it: a line with its number, source, kind and
// length, then the frame's pieces, each line indented.
std::string DescribeRecord(const Record& record, long number);
// Bytes as hex dump lines: offset, 16 bytes in hex, the printable ones.
std::string HexDump(std::string_view bytes);
