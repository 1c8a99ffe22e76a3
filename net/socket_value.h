#pragma once
// The values that CSocket sends and hands out, and their byte forms. Each
// kind of value has a type code; strings are single-byte text, one byte per
// character. No platform header.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

// An amount of money held as the amount times 10 000.
struct Currency {
  std::int64_t scaled = 0;
  bool operator==(const Currency&) const = default;
};
// A date as its serial day count.
struct SerialDate {
  double serial = 0.0;
  bool operator==(const SerialDate&) const = default;
};

using ByteArray = std::vector<std::uint8_t>;
// std::monostate stands for a value of a kind that has no byte form.
using SocketValue = std::variant<std::monostate, std::int16_t, std::int32_t, float, double, Currency, SerialDate,
                                 std::string, bool, std::uint8_t, ByteArray>;

enum VarType : int {
  vbInteger = 2,
  vbLong = 3,
  vbSingle = 4,
  vbDouble = 5,
  vbCurrency = 6,
  vbDate = 7,
  vbString = 8,
  vbBoolean = 11,
  vbByte = 17,
  vbByteArray = 8209,
};

// The value's bytes, little-endian for numbers; none for std::monostate.
ByteArray ValueToBytes(const SocketValue& value);

// Makes a value of `varType` (empty: a string) from `data`. Numbers are read
// from the first bytes of the data; missing bytes count as zero. Returns
// false, leaving `value` alone, for a type code it does not know.
bool BytesToValue(std::span<const std::uint8_t> data, std::optional<int> varType, SocketValue& value);
