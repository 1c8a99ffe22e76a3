#include "stats/statistics.h"

#include <cstdarg>
#include <cstdio>

namespace {

std::string Row(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Row(const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  return line;
}

unsigned long long U(std::uint64_t value) {
  return static_cast<unsigned long long>(value);
}

}  // namespace

std::string Ago(std::optional<double> when, double now) {
  if (!when) return "never";
  const double seconds = now > *when ? now - *when : 0;
  if (seconds < 120) return std::to_string(static_cast<long long>(seconds)) + " s ago";
  if (seconds < 2 * 3600) return std::to_string(static_cast<long long>(seconds / 60)) + " min ago";
  if (seconds < 2 * 86400) return std::to_string(static_cast<long long>(seconds / 3600)) + " h ago";
  return std::to_string(static_cast<long long>(seconds / 86400)) + " days ago";
}

std::vector<std::string> StatisticsTable(const Statistics& s, double now) {
  std::vector<std::string> lines;
  lines.push_back(Row("%-14s %-9s %10s %10s %9s %10s %8s %8s  %s", "Source", "State", "Received", "Forwarded",
                      "Filtered", "Duplicates", "Dropped", "Not read", "Last message"));
  for (const auto& src : s.Sources) {
    const char* state = !src.Linked ? "unlinked" : src.Silent ? "silent" : "linked";
    lines.push_back(Row("%-14.14s %-9s %10llu %10llu %9llu %10llu %8llu %8llu  %s", src.Name.c_str(), state,
                        U(src.Received), U(src.Forwarded), U(src.Filtered), U(src.Duplicates), U(src.Dropped),
                        U(src.NotRead), Ago(src.LastMessageAt, now).c_str()));
  }
  lines.emplace_back();
  lines.push_back(Row("%-24s %-16s %10s %9s", "Client", "Connected", "Sent", "Dropped"));
  if (s.Clients.empty()) lines.push_back("(none connected)");
  for (const auto& c : s.Clients) {
    lines.push_back(Row("%-24.24s %-16s %10llu %9llu", c.Name.c_str(), Ago(c.ConnectedSince, now).c_str(), U(c.Sent),
                        U(c.Dropped)));
  }
  if (s.Feeds.empty()) return lines;
  lines.emplace_back();
  // What an output could not send it dropped; what an input could not use
  // it did not read: the same words as the sources' columns.
  lines.push_back(Row("%-28s %-3s %10s %8s %8s  %s", "JSON feed", "", "Objects", "Dropped", "Not read", "State"));
  for (const auto& f : s.Feeds) {
    const std::string lost = std::to_string(f.Lost);
    lines.push_back(Row("%-28.28s %-3s %10llu %8s %8s  %.60s", f.Name.c_str(), f.Input ? "in" : "out", U(f.Count),
                        f.Input ? "" : lost.c_str(), f.Input ? lost.c_str() : "", f.State.c_str()));
  }
  return lines;
}

std::string TrayTotals(const Statistics& s, std::size_t maxLength) {
  std::uint64_t forwarded = 0, dropped = 0, notRead = 0;
  for (const auto& src : s.Sources) {
    forwarded += src.Forwarded;
    dropped += src.Dropped;
    notRead += src.NotRead;
  }
  // A kind of loss is named only when there was one, so that the tip stays
  // short enough to hold the clients too.
  std::string line = std::to_string(forwarded) + " forwarded, ";
  if (dropped != 0) line += std::to_string(dropped) + " dropped, ";
  if (notRead != 0) line += std::to_string(notRead) + " not read, ";
  const std::size_t clients = s.Clients.size();
  line += std::to_string(clients) + (clients == 1 ? " client" : " clients");
  return line.substr(0, maxLength);
}
