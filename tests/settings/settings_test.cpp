#include "settings/settings.h"
#include "support/settings_error.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(Settings, WithoutOptionsOrFileEverythingIsAsAlways) {
  const Settings s = ParseSettings({});
  EXPECT_EQ(s.Port, 2201);  // the default
  EXPECT_EQ(s.Bind, "");
  EXPECT_EQ(s.MaxClients, 1);
  EXPECT_FALSE(s.DebugLog);
  EXPECT_FALSE(s.Minimized);
  EXPECT_EQ(s.RelinkSeconds, 5);
  EXPECT_EQ(s.SilenceMinutes, 30);
}

TEST(Settings, EveryOptionAndItsRange) {
  const Settings s = ParseSettings({"--port", "2301", "--bind", "127.0.0.1", "--max-clients", "64", "--debug-log",
                                    "--minimized", "--relink-seconds", "0", "--silence-minutes", "10080"});
  EXPECT_EQ(s.Port, 2301);
  EXPECT_EQ(s.Bind, "127.0.0.1");
  EXPECT_EQ(s.MaxClients, 64);
  EXPECT_TRUE(s.DebugLog);
  EXPECT_TRUE(s.Minimized);
  EXPECT_EQ(s.RelinkSeconds, 0);
  EXPECT_EQ(s.SilenceMinutes, 10080);
  EXPECT_EQ(ParseSettings({"--port", "1"}).Port, 1);
  EXPECT_EQ(ParseSettings({"--bind", "0.0.0.0"}).Bind, "");

  for (const char* bad : {"0", "65536", "-1", "12x", "", " 80", "99999999999"}) {
    EXPECT_EQ(ErrorOf({"--port", bad}),
              std::string("--port ") + bad + ": a whole number from 1 to 65535 (default 2201) is allowed.");
  }
  EXPECT_EQ(ErrorOf({"--max-clients", "65"}), "--max-clients 65: a whole number from 1 to 64 (default 1) is allowed.");
  EXPECT_EQ(ErrorOf({"--relink-seconds", "-5"}),
            "--relink-seconds -5: a whole number from 0 (never) to 3600 (default 5) is allowed.");
  for (const char* bad : {"localhost", "1.2.3", "1.2.3.256", "1.2.3.4.5", "01234.1.1.1", ""}) {
    EXPECT_NE(ErrorOf({"--bind", bad}).find("an IPv4 address"), std::string::npos) << bad;
  }
  EXPECT_EQ(ErrorOf({"--port"}), "--port needs a value: a whole number from 1 to 65535 (default 2201).");
}

TEST(Settings, UnknownOptionsAreRefusedByNameWithTheListOfOptions) {
  EXPECT_EQ(ErrorOf({"--prot", "80"}), "--prot is not an option. Allowed:");
  EXPECT_EQ(ErrorOf({"5550"}), "5550 is not an option. Allowed:");
  try {
    ParseSettings({"--prot"});
    FAIL();
  } catch (const SettingsError& e) {
    EXPECT_NE(std::string(e.what()).find("--silence-minutes VALUE ([decoders] silence-minutes)"), std::string::npos);
  }
}

TEST(Settings, TheFileIsReadAndTheCommandLineOverridesIt) {
  const SettingsFile file = {{"server", {{"port", "2401"}, {"max-clients", "4"}}},
                             {"window", {{"debug-log", "1"}, {"minimized", "0"}}},
                             {"decoders", {{"relink-seconds", "10"}}}};
  Settings s = ParseSettings({}, file);
  EXPECT_EQ(s.Port, 2401);
  EXPECT_EQ(s.MaxClients, 4);
  EXPECT_TRUE(s.DebugLog);
  EXPECT_EQ(s.RelinkSeconds, 10);
  s = ParseSettings({"--port", "2501", "--ini", "other.ini"}, file);
  EXPECT_EQ(s.Port, 2501);
  EXPECT_EQ(s.MaxClients, 4);

  EXPECT_EQ(ErrorOf({}, {{"server", {{"prot", "1"}}}}), "[server] prot is not a setting. Allowed:");
  EXPECT_EQ(ErrorOf({}, {{"window", {{"port", "1"}}}}), "[window] port is not a setting. Allowed:");
  EXPECT_EQ(ErrorOf({}, {{"window", {{"debug-log", "yes"}}}}), "[window] debug-log yes: 0 or 1 is allowed.");
  EXPECT_EQ(ErrorOf({}, {{"server", {{"port", "0"}}}}),
            "[server] port 0: a whole number from 1 to 65535 (default 2201) is allowed.");
}

TEST(Settings, IniOptionNamesTheFile) {
  EXPECT_FALSE(IniPathOption({"--port", "1"}).has_value());
  EXPECT_EQ(IniPathOption({"--ini", "C:\\b.ini"}).value(), "C:\\b.ini");
  EXPECT_THROW(IniPathOption({"--ini"}), SettingsError);
}

TEST(Settings, JsonDestinationsAndFeeds) {
  const Settings s = ParseSettings({"--json-out", "udp:127.0.0.1:5550", "--json-out", "tcp:pi.local:15550",
                                    "--json-out", "serve:5551", "--json-out", "serve:127.0.0.1:5552", "--json-in",
                                    "udp:5550", "--json-in", "tcp:router.lan:15550,source=1", "--station-id", "XX-TEST",
                                    "--freq", "131.725", "--json-source", "2"});
  ASSERT_EQ(s.JsonOut.size(), 4u);
  EXPECT_EQ(s.JsonOut[0].Type, Endpoint::Kind::Udp);
  EXPECT_EQ(s.JsonOut[0].Host, "127.0.0.1");
  EXPECT_EQ(s.JsonOut[0].Port, 5550);
  EXPECT_EQ(s.JsonOut[1].Type, Endpoint::Kind::Tcp);
  EXPECT_EQ(s.JsonOut[1].Host, "pi.local");
  EXPECT_EQ(s.JsonOut[2].Type, Endpoint::Kind::Serve);
  EXPECT_EQ(s.JsonOut[2].Host, "");
  EXPECT_EQ(s.JsonOut[3].Host, "127.0.0.1");
  ASSERT_EQ(s.JsonIn.size(), 2u);
  EXPECT_EQ(s.JsonIn[0].Host, "");
  EXPECT_EQ(s.JsonIn[0].Port, 5550);
  EXPECT_FALSE(s.JsonIn[0].Source.has_value());
  EXPECT_EQ(s.JsonIn[1].Source, 1);
  EXPECT_EQ(s.JsonIn[1].Text, "tcp:router.lan:15550,source=1");
  EXPECT_EQ(s.StationId, "XX-TEST");
  EXPECT_DOUBLE_EQ(s.Freq, 131.725);
  EXPECT_EQ(s.JsonSource, 2);

  for (const char* bad : {"udp:5550", "serve:host.name:1", "tcp:5550", "file:/tmp/x", "udp:h:0", "udp::5"}) {
    EXPECT_NE(ErrorOf({"--json-out", bad}).find("udp:HOST:PORT, tcp:HOST:PORT"), std::string::npos) << bad;
  }
  for (const char* bad : {"serve:5550", "udp:name.lan:5", "udp:5550,source=4", "udp:5550,src=1"}) {
    EXPECT_NE(ErrorOf({"--json-in", bad}).find("udp:PORT, udp:ADDRESS:PORT"), std::string::npos) << bad;
  }
  EXPECT_NE(ErrorOf({"--freq", "abc"}).find("a frequency in MHz"), std::string::npos);
  EXPECT_NE(ErrorOf({"--station-id", "two words"}).find("without blanks"), std::string::npos);
}

TEST(Settings, StationIdOfAtMost64Characters) {
  const std::string longest(64, 'S');
  EXPECT_EQ(ParseSettings({"--station-id", longest}).StationId, longest);
  EXPECT_EQ(ParseSettings({"--station-id", "X"}).StationId, "X");
  EXPECT_EQ(ErrorOf({"--station-id", longest + "S"}),
            "--station-id " + longest + "S: a name of 1 to 64 characters without blanks (default: none) is allowed.");
  EXPECT_EQ(ErrorOf({"--station-id", ""}),
            "--station-id : a name of 1 to 64 characters without blanks (default: none) is allowed.");
  EXPECT_NE(ErrorOf({"--station-id", "tab\there"}).find("without blanks"), std::string::npos);
}

TEST(Settings, JsonListsFromTheFileAreReplacedByTheCommandLine) {
  const SettingsFile file = {
      {"json", {{"json-out", "udp:127.0.0.1:5550  tcp:pi.local:5550"}, {"freq", "131.55"}, {"freq-anad", "131.725"}}}};
  Settings s = ParseSettings({}, file);
  EXPECT_EQ(s.JsonOut.size(), 2u);
  EXPECT_DOUBLE_EQ(s.DecoderFreq[2], 131.725);
  s = ParseSettings({"--json-out", "serve:5551"}, file);
  ASSERT_EQ(s.JsonOut.size(), 1u);
  EXPECT_EQ(s.JsonOut[0].Type, Endpoint::Kind::Serve);
}

TEST(Settings, DuplicateSuppressionIsOffUnlessAsked) {
  EXPECT_EQ(ParseSettings({}).DedupSeconds, 0);
  EXPECT_EQ(ParseSettings({"--dedup-seconds", "30"}).DedupSeconds, 30);
  EXPECT_EQ(ParseSettings({"--dedup-seconds", "3600"}).DedupSeconds, 3600);
  EXPECT_EQ(ParseSettings({}, {{"decoders", {{"dedup-seconds", "10"}}}}).DedupSeconds, 10);
  EXPECT_EQ(ParseSettings({"--dedup-seconds", "0"}, {{"decoders", {{"dedup-seconds", "10"}}}}).DedupSeconds, 0)
      << "the command line switches off what the file switched on";
  for (const char* bad : {"-1", "3601", "1.5", "ten", ""}) {
    EXPECT_EQ(ErrorOf({"--dedup-seconds", bad}),
              std::string("--dedup-seconds ") + bad + ": a whole number from 0 (off) to 3600 (default 0) is allowed.");
  }
  EXPECT_EQ(ErrorOf({}, {{"decoders", {{"dedup-seconds", "4000"}}}}),
            "[decoders] dedup-seconds 4000: a whole number from 0 (off) to 3600 (default 0) is allowed.");
  EXPECT_EQ(ErrorOf({}, {{"json", {{"dedup-seconds", "10"}}}}), "[json] dedup-seconds is not a setting. Allowed:");
}

TEST(Settings, OneValueIsCheckedWithTheCommandLinesRuleAndMessage) {
  EXPECT_EQ(CheckSetting("port", "2301", "Client port"), "");
  EXPECT_EQ(CheckSetting("port", "0", "Client port"),
            "Client port 0: a whole number from 1 to 65535 (default 2201) is allowed.");
  EXPECT_EQ(CheckSetting("max-clients", "65", "--max-clients"), ErrorOf({"--max-clients", "65"}));
  EXPECT_EQ(CheckSetting("json-out", "udp:5550", "JSON output"),
            "JSON output udp:5550: udp:HOST:PORT, tcp:HOST:PORT, serve:PORT or serve:ADDRESS:PORT is allowed.");
  EXPECT_EQ(CheckSetting("json-in", "udp:5550 tcp:pi:15550,source=1", "x"), "");
  EXPECT_EQ(CheckSetting("freq-anad", "131.45", "x"), "");
  EXPECT_EQ(CheckSetting("debug-log", "2", "Debug log"), "Debug log 2: 0 or 1 is allowed.");
  EXPECT_EQ(CheckSetting("prot", "1", "x"), "x is not a setting.");
}

TEST(Settings, TheKeysInTheirOrderWithSectionAndDefault) {
  const std::vector<SettingKey> keys = SettingKeys();
  ASSERT_EQ(keys.size(), 20u);
  EXPECT_EQ(keys[0].Key, "port");
  EXPECT_EQ(keys[0].Section, "server");
  EXPECT_EQ(keys[0].Default, "2201");
  EXPECT_EQ(keys[1].Default, "");  // bind: every interface
  EXPECT_EQ(keys.back().Section, "http");
  EXPECT_EQ(keys.back().Key, "listen");
  EXPECT_EQ(keys.back().Default, "127.0.0.1:8221");
  // Every default passes its own check, or is "none".
  for (const SettingKey& key : keys) {
    if (!key.Default.empty()) {
      EXPECT_EQ(CheckSetting(key.Key, key.Default, key.Key), "") << key.Key;
    }
  }
}

TEST(Settings, TheKeysTheCommandLineOverrides) {
  EXPECT_EQ(OverriddenKeys({}), std::vector<std::string>{});
  EXPECT_EQ(
      OverriddenKeys({"--ini", "a.ini", "--port", "2301", "--minimized", "--json-in", "udp:1", "--json-in", "udp:2"}),
      (std::vector<std::string>{"port", "minimized", "json-in"}));
}

TEST(Settings, TheStatusPagesAddressAndPort) {
  const Settings none = ParseSettings({});
  EXPECT_EQ(none.HttpAddress, "127.0.0.1");  // this PC only
  EXPECT_EQ(none.HttpPort, 8221);
  const struct {
    const char* Value;
    const char* Address;
    std::int32_t Port;
  } good[] = {{"8222", "127.0.0.1", 8222},
              {"0", "127.0.0.1", 0},
              {"65535", "127.0.0.1", 65535},
              {"0.0.0.0:80", "0.0.0.0", 80},
              {"192.168.1.5:1", "192.168.1.5", 1}};
  for (const auto& g : good) {
    const Settings s = ParseSettings({"--http", g.Value});
    EXPECT_EQ(s.HttpAddress, g.Address) << g.Value;
    EXPECT_EQ(s.HttpPort, g.Port) << g.Value;
  }
  for (const char* bad : {"65536", "-1", "", "localhost:80", "1.2.3:80", ":80", "127.0.0.1:", "x"}) {
    EXPECT_EQ(ErrorOf({"--http", bad}),
              std::string("--http ") + bad +
                  ": [ADDRESS:]PORT such as 8221 or 0.0.0.0:8221, 0 for none (default 127.0.0.1:8221) is allowed.");
  }
  // The file's key, the command line over it, the check and the help.
  const Settings fromFile = ParseSettings({}, {{"http", {{"listen", "0"}}}});
  EXPECT_EQ(fromFile.HttpPort, 0);
  EXPECT_EQ(ParseSettings({"--http", "9000"}, {{"http", {{"listen", "0"}}}}).HttpPort, 9000);
  EXPECT_EQ(CheckSetting("listen", "1.2.3.4:5", "Status page"), "");
  EXPECT_EQ(ErrorOf({"--listen", "80"}), "--listen is not an option. Allowed:");
  EXPECT_EQ(OverriddenKeys({"--http", "0", "--port", "2301"}), (std::vector<std::string>{"listen", "port"}));
  EXPECT_NE(SettingsHelp().find("--http VALUE ([http] listen): [ADDRESS:]PORT"), std::string::npos);
}
