#include "app/profile_report.h"

#ifdef BRIDGE_PROFILE
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "stats/stage_profile.h"
#include "win32/heap_walk.h"

namespace {

// The blocks in use on every heap of the process, by size, the sizes that
// hold the most bytes first: where memory that grows with the messages is.
std::string HeapReport() {
  std::map<std::size_t, std::pair<std::size_t, std::size_t>> bySize;  // size -> blocks, bytes
  std::size_t blocks = 0, bytes = 0;
  ForEachHeapBlockInUse([&](std::size_t size) {
    auto& [n, total] = bySize[size];
    ++n;
    total += size;
    ++blocks;
    bytes += size;
  });
  std::vector<std::pair<std::size_t, std::pair<std::size_t, std::size_t>>> sizes(bySize.begin(), bySize.end());
  std::sort(sizes.begin(), sizes.end(), [](const auto& a, const auto& b) { return a.second.second > b.second.second; });
  std::string out = "\nheap blocks in use: " + std::to_string(blocks) + ", " + std::to_string(bytes) + " bytes\n";
  for (std::size_t i = 0; i < sizes.size() && i < 12; ++i) {
    out += "  size " + std::to_string(sizes[i].first) + ": " + std::to_string(sizes[i].second.first) + " blocks, " +
           std::to_string(sizes[i].second.second) + " bytes\n";
  }
  return out;
}

}  // namespace

void WriteProfile(const MessageRouter& router) {
  static std::size_t written = 0;
  std::size_t messages = 0;
  for (std::size_t i = 0; i < router.InputCount(); ++i) messages += router.Counters(i).Received;
  const char* path = std::getenv("TOLVANDDE_PROFILE");
  if (!path || messages == written) return;
  written = messages;
  std::ofstream(path, std::ios::binary | std::ios::trunc) << StageProfileReport(messages) << HeapReport();
}

#else

void WriteProfile(const MessageRouter&) {}

#endif
