#include "net/socket_value.h"

#include <gtest/gtest.h>

TEST(SocketValue, BytesOfEachKind) {
  EXPECT_EQ(ValueToBytes(std::int32_t{1}), (ByteArray{1, 0, 0, 0}));
  EXPECT_EQ(ValueToBytes(std::int16_t{-2}), (ByteArray{0xFE, 0xFF}));
  EXPECT_EQ(ValueToBytes(true), (ByteArray{0xFF, 0xFF}));
  EXPECT_EQ(ValueToBytes(false), (ByteArray{0, 0}));
  EXPECT_EQ(ValueToBytes(std::uint8_t{7}), (ByteArray{7}));
  EXPECT_EQ(ValueToBytes(1.0f), (ByteArray{0, 0, 0x80, 0x3F}));
  EXPECT_EQ(ValueToBytes(1.0), (ByteArray{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
  EXPECT_EQ(ValueToBytes(Currency{10000}), (ByteArray{0x10, 0x27, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(ValueToBytes(SerialDate{1.0}), (ByteArray{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
  EXPECT_EQ(ValueToBytes(std::string("ab\x80")), (ByteArray{'a', 'b', 0x80}));
  EXPECT_EQ(ValueToBytes(ByteArray{1, 2, 3}), (ByteArray{1, 2, 3}));
  EXPECT_TRUE(ValueToBytes(std::monostate{}).empty());
}

TEST(SocketValue, ValuesFromBytes) {
  const ByteArray data{1, 0, 0, 0, 0xFF};
  SocketValue v;
  ASSERT_TRUE(BytesToValue(data, vbLong, v));
  EXPECT_EQ(std::get<std::int32_t>(v), 1);
  ASSERT_TRUE(BytesToValue(data, std::nullopt, v));
  EXPECT_EQ(std::get<std::string>(v), std::string("\x01\0\0\0\xFF", 5));
  ASSERT_TRUE(BytesToValue(data, vbByteArray, v));
  EXPECT_EQ(std::get<ByteArray>(v), data);
  ASSERT_TRUE(BytesToValue(ByteArray{0xFF, 0xFF}, vbBoolean, v));
  EXPECT_EQ(std::get<bool>(v), true);
  // Fewer bytes than the type's width: the missing ones count as zero.
  ASSERT_TRUE(BytesToValue(ByteArray{0x34}, vbLong, v));
  EXPECT_EQ(std::get<std::int32_t>(v), 0x34);
  // An unknown type code leaves the value alone.
  v = std::string("kept");
  EXPECT_FALSE(BytesToValue(data, 9999, v));
  EXPECT_EQ(std::get<std::string>(v), "kept");
}
