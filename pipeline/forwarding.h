#pragma once
// The pure part of forwarding one decoder text: from the text as a decoder
// delivered it to the record (header and frame text) that the client gets,
// and the texts of the debug-log entries that go with it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pipeline/acars_message.h"
#include "pipeline/frame_header.h"

struct ForwardedMessage {
  std::string Normalised;  // the text as shown and logged
  AcarsMessage Message;
  FrameHeader Header;
  std::string Record;  // the header's bytes, then the frame text: what goes on the wire
  // The frame text, one byte per character.
  std::string_view Frame() const { return std::string_view(Record).substr(FrameHeader::kSize); }
};

// Texts of 10 characters or fewer are no messages: nullopt.
std::optional<ForwardedMessage> PrepareMessage(std::string_view inMsg, DecoderSource source);
// The same into `out`, whose buffers keep their room for the next text, as
// the forwarding of many messages wants; false for no message.
bool PrepareMessage(std::string_view inMsg, DecoderSource source, ForwardedMessage& out);

// A message that came already parsed (from a JSON feed): the same frame text
// and header as any other; shown and logged in the decoders' labelled form.
ForwardedMessage PrepareParsedMessage(AcarsMessage message);

// An HF message with number "0000" and no flight id is never forwarded.
bool IsDroppedHfMessage(const AcarsMessage& message);

// DES of the change handler's entry: the box's tag and the text's length.
std::string ChangeLogDescription(std::string_view tag, std::string_view text);
// DES of a forwarded message: registration, flight, the frame text, and the
// first header byte (the low byte of the length).
std::string ForwardLogDescription(const ForwardedMessage& forwarded);

// The bytes that go on the wire for one message: header, then frame text.
const std::string& RecordBytes(const ForwardedMessage& forwarded);
