#include "outputs/json_line_encoder.h"

#include "stats/stage_profile.h"

JsonLineEncoder::JsonLineEncoder(const Settings& settings, std::string version) {
  mInfo.StationId = settings.StationId;
  mInfo.Freq = settings.Freq;
  mInfo.AppVersion = std::move(version);
  mDecoderFreq = settings.DecoderFreq;
}

const std::string& JsonLineEncoder::Line(const PreparedMessage& message) {
  if (message.Sequence != mSequence || mLine.empty()) {
    const StageTimer timer(Stage::JsonOut);
    JsonFeedInfo info = mInfo;
    info.Timestamp = message.ArrivedAt;
    // The four decoders are the router's first four inputs, in the order of
    // the channels: SkySpy, WinACARS, ANAD, POSFIX.
    info.Channel = static_cast<std::int32_t>(message.Input);
    if (message.Input < mDecoderFreq.size() && mDecoderFreq[message.Input] > 0) {
      info.Freq = mDecoderFreq[message.Input];
    }
    mLine = MessageToJsonLine(message.Forwarded.Message, info);
    mSequence = message.Sequence;
  }
  return mLine;
}
