#include "ui/error_panel.h"

#include <algorithm>

namespace {
const std::string kNothing;
}

void ErrorPanel::Report(ReportKey key, const std::string& text) {
  // A one-off fault is replaced by any newer report; conditions stand
  // until they end.
  if (key.What == ReportKey::Kind::Event) key.Input = 0;
  mStanding.erase(ReportKey{});
  mStanding[key] = {text, ++mNext};
}

bool ErrorPanel::Clear(ReportKey key) {
  const std::string before = Shown();
  mStanding.erase(key);
  return Shown() != before;
}

const std::string& ErrorPanel::Shown() const {
  const auto newest = std::max_element(mStanding.begin(), mStanding.end(),
                                       [](const auto& a, const auto& b) { return a.second.Order < b.second.Order; });
  return newest == mStanding.end() ? kNothing : newest->second.Text;
}

std::vector<std::pair<ReportKey, std::string>> ErrorPanel::Standing() const {
  std::vector<std::pair<ReportKey, Entry>> entries(mStanding.begin(), mStanding.end());
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.second.Order > b.second.Order; });
  std::vector<std::pair<ReportKey, std::string>> standing;
  for (const auto& [key, entry] : entries) standing.emplace_back(key, entry.Text);
  return standing;
}
