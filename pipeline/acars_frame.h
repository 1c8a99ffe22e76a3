#pragma once
// Rebuilds a parsed message as an ACARS block in character form, the frame
// text that the client receives behind each header.

#include <string>

#include "pipeline/acars_message.h"

namespace REZUZ2ARI {

// "*", SYN, SYN, SOH, mode, address, NAK, label, block id, STX, message
// number, flight id, text, ETX: every field exactly as the record holds it.
std::string BuildAcarsFrame(const AcarsMessage& message);
// The same frame text appended to `out`.
void AppendAcarsFrame(const AcarsMessage& message, std::string& out);

}  // namespace REZUZ2ARI
