#pragma once
// ClientPortOutput: the router's output to the client of the port the
// program serves (2201 unless set otherwise). The socket belongs to the main
// window, which listens, accepts and re-listens; this output only writes to
// it. GUI thread only.

#include <functional>
#include <string>

#include "net/csocket.h"
#include "outputs/stream_output.h"

class ClientPortOutput : public StreamOutput {
 public:
  // The most bytes that may wait for a slow client.
  static constexpr std::size_t kMaxBacklog = 4 * 1024 * 1024;

  // `socket` returns the client socket, or null before there is one.
  explicit ClientPortOutput(std::function<CSocket*()> socket) : StreamOutput(kMaxBacklog), mSocket(std::move(socket)) {}

  std::string DropReason() const override { return "client not reading"; }

 protected:
  bool Open() const override;
  std::size_t Unsent() const override;
  std::size_t Unacknowledged(bool now) override;
  void Write(const std::string& bytes) override;

 private:
  std::function<CSocket*()> mSocket;
};
