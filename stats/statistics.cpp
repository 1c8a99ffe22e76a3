#include "stats/statistics.h"

std::string Ago(std::optional<double> when, double now) {
  if (!when) return "never";
  const double seconds = now > *when ? now - *when : 0;
  if (seconds < 120) return std::to_string(static_cast<long long>(seconds)) + " s ago";
  if (seconds < 2 * 3600) return std::to_string(static_cast<long long>(seconds / 60)) + " min ago";
  if (seconds < 2 * 86400) return std::to_string(static_cast<long long>(seconds / 3600)) + " h ago";
  return std::to_string(static_cast<long long>(seconds / 86400)) + " days ago";
}

namespace {

// A column's width in characters: negative for left-aligned text, which a
// row cuts to the width; 0 for the free last column, two spaces apart.
using Widths = std::vector<int>;
constexpr int kLastColumnMost = 60;

std::string Cell(const std::string& text, int width, bool cut) {
  if (width == 0) return "  " + text.substr(0, kLastColumnMost);
  const std::size_t size = static_cast<std::size_t>(width < 0 ? -width : width);
  const std::string shown = cut && width < 0 ? text.substr(0, size) : text;
  const std::string pad(shown.size() < size ? size - shown.size() : 0, ' ');
  return width < 0 ? shown + pad : pad + shown;
}

// The cells of a row in columns of fixed width (headings are never cut).
std::string Aligned(const std::vector<std::string>& cells, const Widths& widths, bool heading) {
  std::string line;
  for (std::size_t i = 0; i < cells.size() && i < widths.size(); ++i) {
    if (i != 0 && widths[i] != 0) line += ' ';
    line += Cell(cells[i], widths[i], !heading);
  }
  return line;
}

}  // namespace

std::vector<StatisticsSection> StatisticsSections(const Statistics& s, double now) {
  std::vector<StatisticsSection> sections;
  auto& sources = sections.emplace_back();
  sources.Heading = {"Source",     "State",   "Received", "Forwarded",   "Filtered",
                     "Duplicates", "Dropped", "Not read", "Last message"};
  for (const auto& src : s.Sources) {
    const char* state = !src.Linked ? "unlinked" : src.Silent ? "silent" : "linked";
    sources.Rows.push_back({src.Name, state, std::to_string(src.Received), std::to_string(src.Forwarded),
                            std::to_string(src.Filtered), std::to_string(src.Duplicates), std::to_string(src.Dropped),
                            std::to_string(src.NotRead), Ago(src.LastMessageAt, now)});
  }
  auto& clients = sections.emplace_back();
  clients.Heading = {"Client", "Connected", "Sent", "Dropped"};
  if (s.Clients.empty()) clients.Rows.push_back({"(none connected)"});
  for (const auto& c : s.Clients) {
    clients.Rows.push_back({c.Name, Ago(c.ConnectedSince, now), std::to_string(c.Sent), std::to_string(c.Dropped)});
  }
  if (s.Feeds.empty()) return sections;
  // What an output could not send it dropped; what an input could not use
  // it did not read: the same words as the sources' columns.
  auto& feeds = sections.emplace_back();
  feeds.Heading = {"JSON feed", "", "Objects", "Dropped", "Not read", "State"};
  for (const auto& f : s.Feeds) {
    const std::string lost = std::to_string(f.Lost);
    feeds.Rows.push_back(
        {f.Name, f.Input ? "in" : "out", std::to_string(f.Count), f.Input ? "" : lost, f.Input ? lost : "", f.State});
  }
  return sections;
}

std::vector<std::string> StatisticsTable(const Statistics& s, double now) {
  static const Widths kWidths[] = {{-14, -9, 10, 10, 9, 10, 8, 8, 0}, {-24, -16, 10, 9}, {-28, -3, 10, 8, 8, 0}};
  std::vector<std::string> lines;
  std::size_t index = 0;
  for (const auto& section : StatisticsSections(s, now)) {
    if (index != 0) lines.emplace_back();
    const Widths& widths = kWidths[index++];
    lines.push_back(Aligned(section.Heading, widths, true));
    for (const auto& row : section.Rows) lines.push_back(row.size() == 1 ? row[0] : Aligned(row, widths, false));
  }
  return lines;
}

std::string StatisticsTabSeparated(const Statistics& s, double now) {
  std::string text;
  const auto add = [&text](const std::vector<std::string>& row) {
    for (std::size_t i = 0; i < row.size(); ++i) text.append(i == 0 ? "" : "\t").append(row[i]);
    text += "\r\n";
  };
  for (const auto& section : StatisticsSections(s, now)) {
    if (!text.empty()) text += "\r\n";
    add(section.Heading);
    for (const auto& row : section.Rows) add(row);
  }
  return text;
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
