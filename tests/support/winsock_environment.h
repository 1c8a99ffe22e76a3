#pragma once
// Winsock for the tests' own plain sockets, started once for the whole test
// program: every test file that includes this header shares the one
// registration.

#include <winsock2.h>

#include <gtest/gtest.h>

class WinsockEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  void TearDown() override { WSACleanup(); }
};

inline const auto* const kWinsockEnvironment = ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);
