#pragma once
// JsonFramer: cuts a byte stream, or one datagram, into JSON object texts.
// Objects stand one to a line ("\n" or "\r\n"), or back to back with
// nothing between them; over a stream an object may come in pieces, and the
// piece waits for the rest. An object larger than kMaxObject, an object cut
// off by a line end or a datagram's end, and text outside any object are
// skipped up to the next boundary and counted. Memory stays bounded whatever
// a sender sends. No platform header.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

class JsonFramer {
 public:
  static constexpr std::size_t kMaxObject = 1024 * 1024;

  void Feed(std::string_view bytes);
  // A datagram ends: an object it left open is broken.
  void EndOfDatagram();
  // The next whole object's text (the caller parses it), if any.
  std::optional<std::string> Next();
  // Runs of bytes skipped so far: oversize or broken objects, stray text.
  std::uint64_t Skipped() const { return mSkipped; }

 private:
  enum class State { Between, InObject, Stray };
  void Skip();

  State mState = State::Between;
  std::string mObject;
  std::size_t mDepth = 0;
  bool mInString = false;
  bool mEscaped = false;
  bool mOversize = false;
  std::deque<std::string> mReady;
  std::uint64_t mSkipped = 0;
};
