#pragma once
// The snapshot as JSON: what the status page draws, for scripts as well
// (/api/status). Texts from decoders and feeds are data here; bytes that
// are not UTF-8 become U+FFFD. No platform header.

#include <string>

#include "web/status_snapshot.h"

std::string StatusJson(const StatusSnapshot& snapshot);
