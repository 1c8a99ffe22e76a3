#pragma once
// The benchmark build (BRIDGE_PROFILE) writes its stage profile and the
// heap's blocks in use to the file that TOLVANDDE_PROFILE names, whenever
// messages came since the last time: the benchmarks end the program without
// warning. In every other build this does nothing.

#include "router/message_router.h"

void WriteProfile(const MessageRouter& router);
