#pragma once
// The error record of the socket component (number, source, description)
// and the table of socket error texts. No platform header: numbers are the
// Windows Sockets codes, used as they are.

#include <cstdint>
#include <exception>
#include <string>

// Numbers the component raises besides the socket layer's own codes.
inline constexpr std::int32_t kErrSubscriptOutOfRange = 9;
inline constexpr std::int32_t kErrOverflow = 6;
inline constexpr std::int32_t kErrWrongProtocolOrState = 40006;
inline constexpr const char* kWrongProtocolOrStateText =
    "Wrong protocol or connection state for the requested transaction or request.";

// The English text for a socket error number; "Unknown error." for any
// number outside the table.
std::string GetErrorDescription(std::int32_t number);

// What every public socket operation raises, and the shape of the pending
// error that the support module leaves behind instead of raising.
class SocketError : public std::exception {
 public:
  SocketError() = default;
  SocketError(std::int32_t number, std::string source, std::string description)
      : Number(number), Source(std::move(source)), Description(std::move(description)) {}
  // A socket-layer code with its text from the table.
  static SocketError FromCode(std::int32_t number, std::string source) {
    return {number, std::move(source), GetErrorDescription(number)};
  }
  // The same error, raised again under another operation's name.
  SocketError WithSource(std::string source) const { return {Number, std::move(source), Description}; }

  const char* what() const noexcept override { return Description.c_str(); }

  std::int32_t Number = 0;
  std::string Source;
  std::string Description;
};

// "where: text" for whatever a handler raised: a socket error with its
// number ("wns_OnConnectionRequest: 10054 Connection reset by peer."), any
// other error by its text.
std::string DescribeError(const char* where, std::exception_ptr error);
