// The duplicate filter alone, on a clock the test drives: what makes two
// messages equal, the window measured from the message that passed, and
// that its memory stays bounded however fast messages come.

#include "router/duplicate_filter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

AcarsMessage Downlink(const std::string& text) {
  AcarsMessage m;
  m.Mode = "2";
  m.AircraftReg = ".D-ABCD";
  m.MessageLabel = "H1";
  m.BlockID = "3";
  m.MessageNumber = "M12A";
  m.FlightNumber = "XY012A";
  m.MessageContent = text;
  m.Source = DecoderSource::SkySpy;
  return m;
}

// What the router does with each message: forwarded unless a duplicate,
// and then remembered.
bool Passes(DuplicateFilter& filter, const AcarsMessage& message, std::uint64_t nowMs) {
  if (filter.IsDuplicate(message, nowMs)) return false;
  filter.Remember(message, nowMs);
  return true;
}

}  // namespace

TEST(DuplicateFilter, OffUntilGivenAWindow) {
  DuplicateFilter filter;
  EXPECT_FALSE(filter.Enabled());
  EXPECT_TRUE(Passes(filter, Downlink("POSITION"), 1000));
  EXPECT_TRUE(Passes(filter, Downlink("POSITION"), 1000)) << "off: nothing is a duplicate";
  EXPECT_EQ(filter.Remembered(), 0u);
}

TEST(DuplicateFilter, EqualMessagesWithinTheWindowAreDuplicates) {
  DuplicateFilter filter(10'000);
  EXPECT_TRUE(Passes(filter, Downlink("POSITION"), 1000));
  EXPECT_FALSE(Passes(filter, Downlink("POSITION"), 1000));
  EXPECT_FALSE(Passes(filter, Downlink("POSITION"), 10'999)) << "a millisecond before the window ends";
  EXPECT_TRUE(Passes(filter, Downlink("POSITION"), 11'000)) << "the window has passed: it goes again";
  EXPECT_FALSE(Passes(filter, Downlink("POSITION"), 11'001)) << "and the window starts again from it";
}

// Only a message that was forwarded makes its twins duplicates: one that
// no output took leaves the next copy its chance.
TEST(DuplicateFilter, OnlyWhatIsRememberedMakesDuplicates) {
  DuplicateFilter filter(10'000);
  EXPECT_FALSE(filter.IsDuplicate(Downlink("POSITION"), 1000));
  EXPECT_FALSE(filter.IsDuplicate(Downlink("POSITION"), 1001)) << "looking does not remember";
  filter.Remember(Downlink("POSITION"), 1002);
  EXPECT_TRUE(filter.IsDuplicate(Downlink("POSITION"), 1003));
  filter.Remember(Downlink("POSITION"), 5000);
  EXPECT_EQ(filter.Remembered(), 1u);
  EXPECT_FALSE(filter.IsDuplicate(Downlink("POSITION"), 11'002)) << "remembered once, from the first time";
}

// A duplicate does not prolong the window: a message repeated every half
// window still passes once a window.
TEST(DuplicateFilter, TheWindowCountsFromTheMessageThatPassed) {
  DuplicateFilter filter(10'000);
  EXPECT_TRUE(Passes(filter, Downlink("POSITION"), 0));
  EXPECT_FALSE(Passes(filter, Downlink("POSITION"), 5'000));
  EXPECT_TRUE(Passes(filter, Downlink("POSITION"), 10'000));
  EXPECT_FALSE(Passes(filter, Downlink("POSITION"), 15'000));
}

// Equal: the same registration, label, block id, message number, flight and
// text; neither the mode nor the source nor the direction flags count.
TEST(DuplicateFilter, WhatMakesTwoMessagesEqual) {
  const AcarsMessage first = Downlink("POSITION\r\nFL370");
  auto differs = [&](auto change) {
    DuplicateFilter filter(10'000);
    EXPECT_TRUE(Passes(filter, first, 1000));
    AcarsMessage other = first;
    change(other);
    return Passes(filter, other, 1001);
  };
  EXPECT_TRUE(differs([](AcarsMessage& m) { m.AircraftReg = ".D-ABCE"; }));
  EXPECT_TRUE(differs([](AcarsMessage& m) { m.MessageLabel = "H2"; }));
  EXPECT_TRUE(differs([](AcarsMessage& m) { m.BlockID = "4"; })) << "another block id is another block";
  EXPECT_TRUE(differs([](AcarsMessage& m) { m.MessageNumber = "M13A"; }));
  EXPECT_TRUE(differs([](AcarsMessage& m) { m.FlightNumber = "XY012B"; }));
  EXPECT_TRUE(differs([](AcarsMessage& m) { m.MessageContent = "POSITION\r\nFL380"; }));
  EXPECT_TRUE(differs([](AcarsMessage& m) { m.MessageContent = "POSITION\r\nFL370\r\n\r\n"; }))
      << "only one line end is left out";
  EXPECT_TRUE(differs([](AcarsMessage& m) { m.MessageContent = "POSITION\r\nFL370\n"; }));
  // Fields that run into each other do not make another message equal.
  EXPECT_TRUE(differs([](AcarsMessage& m) {
    m.FlightNumber = "XY012";
    m.MessageContent = "APOSITION\r\nFL370";
  }));

  EXPECT_FALSE(differs([](AcarsMessage& m) { m.Mode = "X"; }));
  EXPECT_FALSE(differs([](AcarsMessage& m) { m.Source = DecoderSource::AirNavPosfix; }));
  EXPECT_FALSE(differs([](AcarsMessage& m) { m.Timestamp = 12345; }));
  // A decoder's text ends with the line end it prints after the last line;
  // an SDR decoder's JSON has none.
  EXPECT_FALSE(differs([](AcarsMessage& m) { m.MessageContent += "\r\n"; }));
  // A registration as a decoder prints it, and as a JSON feed gives it.
  EXPECT_FALSE(differs([](AcarsMessage& m) { m.AircraftReg = "D-ABCD"; }));
}

TEST(DuplicateFilter, ForgetsWhatIsOlderThanTheWindow) {
  DuplicateFilter filter(1'000);
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(Passes(filter, Downlink("M" + std::to_string(i)), 10 * i));
  EXPECT_EQ(filter.Remembered(), 100u);
  EXPECT_TRUE(Passes(filter, Downlink("LATER"), 10'000));
  EXPECT_EQ(filter.Remembered(), 1u) << "only what the window still covers";
}

// A flood faster than the window can hold: the oldest are forgotten early,
// so memory stays bounded, and the latest are still caught.
TEST(DuplicateFilter, MemoryStaysBoundedAtAnyRate) {
  DuplicateFilter filter(3'600'000, 100, 1'000'000);
  for (int i = 0; i < 1000; ++i) EXPECT_TRUE(Passes(filter, Downlink("M" + std::to_string(i)), 1000));
  EXPECT_EQ(filter.Remembered(), 100u) << "at most the cap";
  EXPECT_FALSE(Passes(filter, Downlink("M999"), 1001));
  EXPECT_FALSE(Passes(filter, Downlink("M900"), 1001)) << "the 100th newest is still held";
  EXPECT_TRUE(Passes(filter, Downlink("M899"), 1001)) << "older ones were let go";

  // Long texts: the bytes are capped too.
  DuplicateFilter bytes(3'600'000, 1000, 10'000);
  for (int i = 0; i < 100; ++i) {
    EXPECT_TRUE(Passes(bytes, Downlink(std::to_string(i) + std::string(1000, 'x')), 1000));
  }
  EXPECT_LE(bytes.Bytes(), 10'000u);
  EXPECT_GE(bytes.Remembered(), 8u);
  EXPECT_FALSE(Passes(bytes, Downlink("99" + std::string(1000, 'x')), 1001));
  // One text longer than all the room is let through and not kept.
  const AcarsMessage huge = Downlink(std::string(20'000, 'y'));
  EXPECT_TRUE(Passes(bytes, huge, 1002));
  EXPECT_TRUE(Passes(bytes, huge, 1003));
  EXPECT_LE(bytes.Bytes(), 10'000u);
}

TEST(DuplicateFilter, ANewWindowForgetsEverything) {
  DuplicateFilter filter(10'000);
  EXPECT_TRUE(Passes(filter, Downlink("POSITION"), 0));
  filter.SetWindow(0);
  EXPECT_FALSE(filter.Enabled());
  EXPECT_EQ(filter.Remembered(), 0u);
  filter.SetWindow(10'000);
  EXPECT_TRUE(Passes(filter, Downlink("POSITION"), 1));
}
