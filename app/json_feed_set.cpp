#include "app/json_feed_set.h"

#include <string>

#include "inputs/json_inputs.h"
#include "outputs/json_outputs.h"

void JsonFeedSet::Add(std::unique_ptr<JsonFeed> feed, Role role) {
  if (role.Output) mRouter.AddOutput(*role.Output);
  mFeeds.push_back(std::move(feed));
  mRoles.push_back(role);
}

void JsonFeedSet::Start(const Settings& settings) {
  const JsonFeed::LogSink log = [this](const std::string& des, const std::string& msg) { mLog.Write(des, msg); };
  for (const Endpoint& e : settings.JsonOut) {
    if (e.Type == Endpoint::Kind::Udp) {
      auto output = std::make_unique<JsonUdpOutput>(e, mEncoder, log);
      MessageOutput* asOutput = output.get();
      Add(std::move(output), {asOutput, {}});
    } else if (e.Type == Endpoint::Kind::Tcp) {
      auto output = std::make_unique<JsonTcpOutput>(e, mEncoder, log);
      MessageOutput* asOutput = output.get();
      Add(std::move(output), {asOutput, {}});
    } else {
      Add(std::make_unique<JsonServeOutput>(e, mRouter, mEncoder, log), {});
    }
  }
  for (const Endpoint& e : settings.JsonIn) {
    const auto source = static_cast<DecoderSource>(e.Source.value_or(settings.JsonSource));
    std::unique_ptr<JsonInput> input;
    if (e.Type == Endpoint::Kind::Udp) {
      input = std::make_unique<JsonUdpInput>(e, source, mRouter, log);
    } else {
      input = std::make_unique<JsonTcpInput>(e, source, mRouter, log);
    }
    const std::size_t routerInput = input->RouterInput();
    Add(std::move(input), {nullptr, routerInput});
  }
}

void JsonFeedSet::Tick(double now) {
  for (const auto& feed : mFeeds) feed->Tick(now);
}

void JsonFeedSet::Stop() {
  // The inputs hand over what they read, and every output gets what waits
  // for it; what an output still holds then is counted as lost when it is
  // taken off the router.
  for (const auto& feed : mFeeds) {
    if (feed->IsInput()) feed->Finish();
  }
  mRouter.Flush();
  for (std::size_t i = 0; i < mFeeds.size(); ++i) {
    if (mFeeds[i]->IsInput()) continue;
    mFeeds[i]->Finish();
    if (mRoles[i].Output) mRouter.RemoveOutput(*mRoles[i].Output);
  }
  mRoles.clear();
  mFeeds.clear();
}

void JsonFeedSet::AddRows(Statistics& s, double now) const {
  for (std::size_t i = 0; i < mFeeds.size(); ++i) {
    const JsonFeed& feed = *mFeeds[i];
    const std::string state = feed.State();
    s.Feeds.push_back({feed.Name(), feed.IsInput(), state, feed.Count(), feed.Lost()});
    if (!mRoles[i].Input) continue;
    // A JSON input is a source too; what it skipped counts as filtered.
    const auto& c = mRouter.Counters(*mRoles[i].Input);
    s.Sources.push_back({feed.Name(), state == "connected" || state == "listening", false, c.Received, c.Forwarded,
                         c.Filtered + c.Skipped, c.Dropped, c.LastMessageAt, c.PerMinute.Last(now), c.NotRead,
                         c.Duplicates});
  }
}
