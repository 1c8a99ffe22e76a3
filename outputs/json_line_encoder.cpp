#include "outputs/json_line_encoder.h"

#include "stats/stage_profile.h"

JsonLineEncoder::JsonLineEncoder(const Settings& settings, std::string version) {
  mInfo.AppVersion = std::move(version);
  SetStation(settings);
}

void JsonLineEncoder::SetStation(const Settings& settings) {
  mInfo.StationId = settings.StationId;
  mInfo.Freq = settings.Freq;
  mDecoderFreq = settings.DecoderFreq;
  mLine.clear();  // the line kept for the last message has the old values
}

const std::string& JsonLineEncoder::Line(const PreparedMessage& message) {
  if (message.Sequence != mSequence || mLine.empty()) {
    const StageTimer timer(Stage::JsonOut);
    JsonFeedInfo info = mInfo;
    info.Timestamp = message.ArrivedAt;
    // The decoders' channels: SkySpy, WinACARS, ANAD, POSFIX.
    info.Channel = message.Channel;
    const auto channel = static_cast<std::size_t>(message.Channel);
    if (message.Channel >= 0 && channel < mDecoderFreq.size() && mDecoderFreq[channel] > 0) {
      info.Freq = mDecoderFreq[channel];
    }
    mLine = MessageToJsonLine(message.Forwarded.Message, info);
    mSequence = message.Sequence;
  }
  return mLine;
}
