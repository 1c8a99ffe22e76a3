#include "pipeline/acars_message.h"

bool IsDownlinkBlockId(std::string_view blockId) {
  return blockId.size() == 1 && blockId[0] >= '0' && blockId[0] <= '9';
}

void SetDirection(AcarsMessage& m) {
  const bool downlink = IsDownlinkBlockId(m.BlockID);
  m.Uplink = !downlink && m.MessageLabel != "SQ" ? 1 : 0;
  m.Squitter = !downlink && m.MessageLabel == "SQ" ? 1 : 0;
}
