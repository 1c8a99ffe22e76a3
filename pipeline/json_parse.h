#pragma once
// ParseJson: the one way JSON from outside becomes a value, with a bound on
// how deeply it nests. nlohmann's parser itself keeps its own stack, but
// writing a value out (dump) and comparing values recurse once a level: an
// object nested thousands of levels deep, which fits easily into one
// datagram, would overflow the stack of whichever thread writes it. A value
// nested deeper than the bound counts as no JSON. No platform header.

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string_view>

// Far deeper than any decoder's JSON nests (theirs stay below ten levels),
// and shallow enough for every recursive walk to stay well within a stack.
inline constexpr int kMaxJsonDepth = 64;

// The value `text` holds; a discarded value (is_discarded()) when it holds
// no JSON, or arrays and objects nested more than `maxDepth` levels deep.
template <class Json>
Json ParseJson(std::string_view text, int maxDepth = kMaxJsonDepth) {
  // Text with no more opening brackets than the limit cannot nest deeper:
  // the plain parse, about twice as fast as one that calls back.
  const auto opening = std::count_if(text.begin(), text.end(), [](char c) { return c == '{' || c == '['; });
  if (opening <= maxDepth) return Json::parse(text, nullptr, false);
  using Event = typename Json::parse_event_t;
  bool tooDeep = false;
  // `depth` is that of the array or object that starts: 0 for the outermost.
  auto limit = [&](int depth, Event event, Json&) {
    if ((event == Event::object_start || event == Event::array_start) && depth >= maxDepth) tooDeep = true;
    return !tooDeep;  // once too deep, nothing more is kept
  };
  Json value = Json::parse(text, limit, false);
  return tooDeep ? Json(Json::value_t::discarded) : value;
}
