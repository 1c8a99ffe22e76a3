#include "settings/settings_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/settings.h"

TEST(SettingsWriter, ValuesAreChangedInPlaceKeepingCommentsAndOrder) {
  const std::string before =
      "; my bridge\r\n[server]\r\n; the plotter's port\r\nport = 2401\r\nmax-clients=2\r\n\r\n[window]\r\n"
      "debug-log=0\r\n";
  const std::string after = UpdateSettingsText(
      before, {{"server", {{"port", "2501"}, {"max-clients", "2"}}}, {"window", {{"debug-log", "1"}}}});
  EXPECT_EQ(after,
            "; my bridge\r\n[server]\r\n; the plotter's port\r\nport = 2501\r\nmax-clients=2\r\n\r\n[window]\r\n"
            "debug-log=1\r\n");
}

TEST(SettingsWriter, AMissingKeyGoesAfterItsCommentedExampleOrInTheOrderOfTheOptions) {
  const std::string before =
      "[server]\r\n; The port.\r\n;port=2201\r\n; The address.\r\n;bind=127.0.0.1\r\n\r\n[window]\r\nminimized=1\r\n"
      "; trailing comment\r\n\r\n[decoders]\r\n";
  const std::string after = UpdateSettingsText(
      before, {{"server", {{"bind", "10.0.0.2"}}}, {"window", {{"debug-log", "1"}}}, {"decoders", {}}});
  EXPECT_EQ(after,
            "[server]\r\n; The port.\r\n;port=2201\r\n; The address.\r\n;bind=127.0.0.1\r\nbind=10.0.0.2\r\n\r\n"
            "[window]\r\ndebug-log=1\r\nminimized=1\r\n; trailing comment\r\n\r\n[decoders]\r\n");
}

TEST(SettingsWriter, AMissingSectionIsAddedAtTheEndInTheOptionsOrder) {
  const std::string after = UpdateSettingsText(
      "[server]\nport=2401\n", {{"json", {{"station-id", "XX-ME"}, {"json-out", "udp:127.0.0.1:5550"}}}});
  EXPECT_EQ(after, "[server]\nport=2401\n\n[json]\njson-out=udp:127.0.0.1:5550\nstation-id=XX-ME\n");
  EXPECT_EQ(UpdateSettingsText("", {{"server", {{"port", "2401"}}}}), "[server]\r\nport=2401\r\n");
}

TEST(SettingsWriter, AnEmptyValueRemovesTheKeyAndADefaultIsNotAddedButKept) {
  const std::string before = "[server]\r\nbind=10.0.0.2\r\nport=2401\r\n[json]\r\nstation-id=XX\r\n";
  const std::string after = UpdateSettingsText(
      before, {{"server", {{"bind", ""}, {"port", "2201"}, {"max-clients", "1"}}}, {"json", {{"station-id", ""}}}});
  EXPECT_EQ(after, "[server]\r\nport=2201\r\n[json]\r\n");
}

TEST(SettingsWriter, KeysAndSectionsMatchWhateverTheirCaseAndKeysNotGivenStay) {
  const std::string before = "[Server]\r\nPort=2401\r\nmax-clients=3\r\n";
  EXPECT_EQ(UpdateSettingsText(before, {{"server", {{"port", "2501"}}}}), "[Server]\r\nPort=2501\r\nmax-clients=3\r\n");
}

TEST(SettingsWriter, WhatItWritesReadsBackAsTheSameSettings) {
  const SettingsFile values = {{"server", {{"port", "2402"}, {"max-clients", "5"}}},
                               {"json", {{"freq", "131.725"}, {"json-in", "udp:5550 tcp:pi:15550,source=1"}}}};
  const std::string text = UpdateSettingsText("; comment\r\n", values);
  EXPECT_EQ(text,
            "; comment\r\n\r\n[server]\r\nport=2402\r\nmax-clients=5\r\n\r\n[json]\r\n"
            "json-in=udp:5550 tcp:pi:15550,source=1\r\nfreq=131.725\r\n");
  EXPECT_EQ(ParseSettings({}, values).Port, 2402);
}

TEST(SettingsWriter, AKeyInASectionOfCommentsOnlyGoesAfterThem) {
  EXPECT_EQ(UpdateSettingsText("[decoders]\r\n; retries\r\n\r\n[json]\r\n", {{"decoders", {{"relink-seconds", "7"}}}}),
            "[decoders]\r\n; retries\r\nrelink-seconds=7\r\n\r\n[json]\r\n");
}
