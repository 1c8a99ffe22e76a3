#pragma once
// What the statistics window and the tray tip show: a snapshot of the
// counters of every source, client and output, and its text. No platform
// header: the window only draws what these functions make.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "stats/minute_counts.h"

struct Statistics {
  struct Source {
    std::string Name;
    bool Linked = false;
    bool Silent = false;
    std::uint64_t Received = 0, Forwarded = 0, Filtered = 0, Dropped = 0;
    std::optional<double> LastMessageAt;
    std::array<std::uint32_t, MinuteCounts::kMinutes> PerMinute{};
    std::uint64_t NotRead = 0;     // lost by the link: empty, not text, or replaced before read
    std::uint64_t Duplicates = 0;  // left out: equal to a message forwarded moments before
  };
  struct Client {
    std::string Name;
    double ConnectedSince = 0;
    std::uint64_t Sent = 0, Dropped = 0;
  };
  struct Feed {
    std::string Name;
    bool Input = false;
    std::string State;
    std::uint64_t Count = 0;  // sent (outputs), taken (inputs)
    std::uint64_t Lost = 0;   // dropped (outputs), skipped (inputs)
  };
  std::vector<Source> Sources;
  std::vector<Client> Clients;
  std::vector<Feed> Feeds;
};

// "never", "12 s ago", "5 min ago", "3 h ago", "2 days ago".
std::string Ago(std::optional<double> when, double now);

// The statistics as tables of cells: the sources, the clients and, when
// there are any, the JSON feeds; each a heading row and its rows.
struct StatisticsSection {
  std::vector<std::string> Heading;
  std::vector<std::vector<std::string>> Rows;  // a row of one cell stands alone ("(none connected)")
};
std::vector<StatisticsSection> StatisticsSections(const Statistics& statistics, double now);

// The table the statistics window shows: a heading line and a line for
// each source, then the same for the clients and, when there are any, the
// JSON feeds; fixed-width columns.
std::vector<std::string> StatisticsTable(const Statistics& statistics, double now);

// The same tables as text to paste elsewhere: cells separated by tabs, CR LF
// line ends, an empty line between the tables.
std::string StatisticsTabSeparated(const Statistics& statistics, double now);

// The totals in one line of at most `maxLength` characters, for the tray
// icon's tip.
std::string TrayTotals(const Statistics& statistics, std::size_t maxLength);
