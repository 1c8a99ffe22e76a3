#pragma once
// JsonFeedSet: the JSON inputs and outputs that the settings name, built at
// start and attached to the router (outputs first, in the settings' order),
// ticked once a second (to reconnect when due) and taken off the router
// when the program ends. Each feed is kept with what it is to the router
// (an output, an input), so nothing needs to ask a feed for its type.
// GUI thread only.

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "common/debug_logger.h"
#include "net/json_feed.h"
#include "outputs/json_line_encoder.h"
#include "router/message_router.h"
#include "settings/settings.h"
#include "stats/statistics.h"

class JsonFeedSet {
 public:
  JsonFeedSet(MessageRouter& router, JsonLineEncoder& encoder, DebugLogger& log)
      : mRouter(router), mEncoder(encoder), mLog(log) {}
  ~JsonFeedSet() { Stop(); }
  JsonFeedSet(const JsonFeedSet&) = delete;
  JsonFeedSet& operator=(const JsonFeedSet&) = delete;

  // Starts the feeds of `settings`; a feed that cannot start (a port that is
  // taken) is raised to the caller.
  void Start(const Settings& settings);
  void Tick(double now);
  // Ends every feed: the inputs' last objects reach the router, the router
  // sends what waits, and what the outputs could not send is counted as
  // dropped as they are taken off the router.
  void Stop();

  // In the order of the settings: outputs first.
  const std::vector<std::unique_ptr<JsonFeed>>& Feeds() const { return mFeeds; }
  // The feeds' rows of the statistics, and a source row for each input.
  void AddRows(Statistics& statistics, double now) const;

 private:
  // What the router knows each feed as: none for a server of readers,
  // which adds an output per reader itself.
  struct Role {
    MessageOutput* Output = nullptr;
    std::optional<std::size_t> Input;
  };
  void Add(std::unique_ptr<JsonFeed> feed, Role role);

  MessageRouter& mRouter;
  JsonLineEncoder& mEncoder;
  DebugLogger& mLog;
  std::vector<std::unique_ptr<JsonFeed>> mFeeds;
  std::vector<Role> mRoles;  // one per feed
};
