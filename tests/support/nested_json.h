#pragma once
// JSON that nests deeply: an ACARS object whose member "x" holds arrays in
// arrays around a 0, so that the whole nests `levels` levels deep (the
// object is one).

#include <cstddef>
#include <string>

inline std::string NestedJson(std::size_t levels) {
  const std::size_t arrays = levels - 1;
  return R"({"label":"H1","x":)" + std::string(arrays, '[') + "0" + std::string(arrays, ']') + "}";
}
