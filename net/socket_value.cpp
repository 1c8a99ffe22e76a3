#include "net/socket_value.h"

#include <bit>

namespace {

template <typename T>
void AppendLittleEndian(ByteArray& out, T value) {
  using U = std::make_unsigned_t<T>;
  const auto u = static_cast<U>(value);
  for (std::size_t i = 0; i < sizeof(U); ++i) out.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}

template <typename T>
T ReadLittleEndian(std::span<const std::uint8_t> data) {
  using U = std::make_unsigned_t<T>;
  U u = 0;
  for (std::size_t i = 0; i < sizeof(U) && i < data.size(); ++i) u |= static_cast<U>(U{data[i]} << (8 * i));
  return static_cast<T>(u);
}

}  // namespace

ByteArray ValueToBytes(const SocketValue& value) {
  ByteArray out;
  struct Visitor {
    ByteArray& out;
    void operator()(std::monostate) const {}
    void operator()(std::int16_t v) const { AppendLittleEndian(out, v); }
    void operator()(std::int32_t v) const { AppendLittleEndian(out, v); }
    void operator()(float v) const { AppendLittleEndian(out, std::bit_cast<std::int32_t>(v)); }
    void operator()(double v) const { AppendLittleEndian(out, std::bit_cast<std::int64_t>(v)); }
    void operator()(Currency v) const { AppendLittleEndian(out, v.scaled); }
    void operator()(SerialDate v) const { AppendLittleEndian(out, std::bit_cast<std::int64_t>(v.serial)); }
    void operator()(const std::string& v) const { out.assign(v.begin(), v.end()); }
    void operator()(bool v) const { AppendLittleEndian(out, static_cast<std::int16_t>(v ? -1 : 0)); }
    void operator()(std::uint8_t v) const { out.push_back(v); }
    void operator()(const ByteArray& v) const { out = v; }
  };
  std::visit(Visitor{out}, value);
  return out;
}

bool BytesToValue(std::span<const std::uint8_t> data, std::optional<int> varType, SocketValue& value) {
  switch (varType.value_or(vbString)) {
    case vbByteArray:
      value = ByteArray(data.begin(), data.end());
      return true;
    case vbBoolean:
      value = ReadLittleEndian<std::int16_t>(data) != 0;
      return true;
    case vbByte:
      value = ReadLittleEndian<std::uint8_t>(data);
      return true;
    case vbCurrency:
      value = Currency{ReadLittleEndian<std::int64_t>(data)};
      return true;
    case vbDate:
      value = SerialDate{std::bit_cast<double>(ReadLittleEndian<std::int64_t>(data))};
      return true;
    case vbDouble:
      value = std::bit_cast<double>(ReadLittleEndian<std::int64_t>(data));
      return true;
    case vbInteger:
      value = ReadLittleEndian<std::int16_t>(data);
      return true;
    case vbLong:
      value = ReadLittleEndian<std::int32_t>(data);
      return true;
    case vbSingle:
      value = std::bit_cast<float>(ReadLittleEndian<std::int32_t>(data));
      return true;
    case vbString:
      value = std::string(data.begin(), data.end());
      return true;
    default:
      return false;
  }
}
