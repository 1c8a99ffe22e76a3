#include "web/recent_messages.h"

MessageOutput::Delivery RecentMessages::Take(const PreparedMessage& message) {
  const AcarsMessage& m = message.Forwarded.Message;
  mKept.push_front({message.ArrivedAt, mRouter.InputName(message.Input), m.AircraftReg, m.FlightNumber, m.MessageLabel,
                    m.MessageContent});
  if (mKept.size() > kKept) mKept.pop_back();
  return Delivery::NotWanted;
}
