#pragma once
// RecentMessages: the last messages the router prepared, for the status
// page. It is one of the router's outputs that never wants a message (so
// the counts of forwarded messages stay those of the real outputs): it only
// keeps a copy of the newest ones. Router's thread only. No platform header.

#include <array>
#include <cstddef>
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
  std::vector<StatusSnapshot::Message> Newest() const;

 private:
  const MessageRouter& mRouter;
  // A ring: each slot's strings keep their room, so that a message costs
  // no allocation once the slots have grown.
  std::array<StatusSnapshot::Message, kKept> mKept;
  std::size_t mNext = 0;   // the slot the next message goes into
  std::size_t mCount = 0;  // slots in use
};
