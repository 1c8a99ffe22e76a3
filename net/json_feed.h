#pragma once
// JsonFeed: what every JSON input and output offers the main window: a
// tick each second (to reconnect when due), a name, a state and counters
// for the statistics window. GUI thread only.

#include <cstdint>
#include <functional>
#include <string>

class JsonFeed {
 public:
  // Where a feed writes its state changes: description and message, as
  // debug-log entries.
  using LogSink = std::function<void(const std::string& description, const std::string& message)>;

  virtual ~JsonFeed() = default;
  virtual void Tick(double /*now*/) {}
  // As the user wrote it: "udp:127.0.0.1:5550".
  virtual std::string Name() const = 0;
  // "connected", "listening", "retrying in 4 s: 10061 Connection refused."
  virtual std::string State() const = 0;
  // Objects sent (outputs) or messages taken (inputs).
  virtual std::uint64_t Count() const = 0;
  // Objects dropped (outputs) or skipped (inputs).
  virtual std::uint64_t Lost() const = 0;
  virtual bool IsInput() const = 0;
  // The feed is about to go: an input stops reading and hands the router
  // what it has read; an output counts as lost what it can no longer send.
  virtual void Finish() {}
};
