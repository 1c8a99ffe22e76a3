#pragma once
// Winsock for the tests' own plain sockets, for the whole test program.

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
