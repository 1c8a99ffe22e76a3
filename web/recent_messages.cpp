#include "web/recent_messages.h"

MessageOutput::Delivery RecentMessages::Take(const PreparedMessage& message) {
  const AcarsMessage& m = message.Forwarded.Message;
  StatusSnapshot::Message& slot = mKept[mNext];
  slot.At = message.ArrivedAt;
  slot.Source = mRouter.InputName(message.Input);
  slot.Registration = m.AircraftReg;
  slot.Flight = m.FlightNumber;
  slot.Label = m.MessageLabel;
  slot.Text = m.MessageContent;
  mNext = (mNext + 1) % kKept;
  if (mCount < kKept) ++mCount;
  return Delivery::NotWanted;
}

std::vector<StatusSnapshot::Message> RecentMessages::Newest() const {
  std::vector<StatusSnapshot::Message> newest;
  newest.reserve(mCount);
  for (std::size_t i = 1; i <= mCount; ++i) newest.push_back(mKept[(mNext + kKept - i) % kKept]);
  return newest;
}
