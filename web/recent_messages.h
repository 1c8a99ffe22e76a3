#pragma once
// RecentMessages: the last messages the router prepared, for the status
// page. It is one of the router's outputs that never wants a message (so
// the counts of forwarded messages stay those of the real outputs): it only
// keeps a copy of the newest ones. Router's thread only. No platform header.

#include <cstddef>
#include <deque>
#include <vector>

#include "router/message_router.h"
#include "web/status_snapshot.h"

class RecentMessages : public MessageOutput {
 public:
  static constexpr std::size_t kKept = 50;

  explicit RecentMessages(const MessageRouter& router) : mRouter(router) {}

  Delivery Take(const PreparedMessage& message) override;
  void Flush() override {}
  std::uint64_t Dropped() const override { return 0; }
  std::string DropReason() const override { return ""; }

  // The messages kept, newest first.
  std::vector<StatusSnapshot::Message> Newest() const { return {mKept.begin(), mKept.end()}; }

 private:
  const MessageRouter& mRouter;
  std::deque<StatusSnapshot::Message> mKept;
};
