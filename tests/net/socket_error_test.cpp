#include "net/socket_error.h"

#include <gtest/gtest.h>

#include "net/socket_support.h"

TEST(GetErrorDescription, KnownAndUnknownNumbers) {
  EXPECT_EQ(GetErrorDescription(10061), "Connection refused.");
  EXPECT_EQ(GetErrorDescription(11001), "Host not found.");
  EXPECT_EQ(GetErrorDescription(10004), "Interrupted function call.");
  EXPECT_EQ(GetErrorDescription(11004), "Valid name, no data record of requested type.");
  EXPECT_EQ(GetErrorDescription(10059), "Unknown error.");
  EXPECT_EQ(GetErrorDescription(0), "Unknown error.");
  EXPECT_EQ(GetErrorDescription(-10061), "Unknown error.");
}

TEST(SocketError, KeepsNumberAndDescriptionUnderANewSource) {
  const SocketError e = SocketError::FromCode(10048, "CSocket.Bind").WithSource("CSocket.Listen");
  EXPECT_EQ(e.Number, 10048);
  EXPECT_EQ(e.Source, "CSocket.Listen");
  EXPECT_EQ(e.Description, "Address already in use.");
  EXPECT_STREQ(e.what(), "Address already in use.");
}

TEST(SocketSupportHelpers, WordsAndPortConversions) {
  using namespace MSocketSupport;
  // Connect notification carrying "connection refused".
  EXPECT_EQ(LoWord(MAKELPARAM(16, 10061)), 16);
  EXPECT_EQ(HiWord(MAKELPARAM(16, 10061)), 10061);
  // A high half with the sign bit set is never negative.
  EXPECT_EQ(HiWord(static_cast<LPARAM>(static_cast<LONG>(0x80010020))), 0x8001);
  EXPECT_EQ(HiWord(static_cast<LPARAM>(-1)), 65535);

  EXPECT_EQ(UnsignedToInteger(2201), 2201);
  EXPECT_EQ(UnsignedToInteger(65535), -1);
  EXPECT_EQ(UnsignedToInteger(32768), -32768);
  EXPECT_EQ(IntegerToUnsigned(-1), 65535);
  EXPECT_EQ(IntegerToUnsigned(2201), 2201);
  for (const std::int32_t bad : {-1, 65536}) {
    try {
      UnsignedToInteger(bad);
      ADD_FAILURE() << bad << " was accepted";
    } catch (const SocketError& e) {
      EXPECT_EQ(e.Number, 6);
    }
  }
  EXPECT_EQ(Key('S', 1234), "S1234");
  EXPECT_EQ(Key('R', -5), "R-5");
  EXPECT_EQ(StringFromPointer(nullptr), "");
  EXPECT_EQ(StringFromPointer("127.0.0.1"), "127.0.0.1");
}
