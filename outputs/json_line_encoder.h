#pragma once
// JsonLineEncoder: the JSON line of a prepared message, as every JSON output
// sends it, made once per message however many outputs send it. The
// station, frequencies and version come from the settings. No platform
// header.

#include <cstdint>
#include <string>

#include "pipeline/acars_json.h"
#include "router/message_router.h"
#include "settings/settings.h"

class JsonLineEncoder {
 public:
  JsonLineEncoder(const Settings& settings, std::string version);
  // The station id and the frequencies of `settings`, for every line from
  // now on.
  void SetStation(const Settings& settings);

  // The line of `message` (a decoder's message: messages that came in as
  // JSON are never sent out again as JSON).
  const std::string& Line(const PreparedMessage& message);

 private:
  JsonFeedInfo mInfo;
  std::array<double, 4> mDecoderFreq;
  std::uint64_t mSequence = 0;  // of the message in mLine
  std::string mLine;
};
