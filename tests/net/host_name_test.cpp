// Host names typed in other letters than ASCII: looked up in their
// international form, by CSocket's lookup and by the input threads' lookup.

#include "net/host_name.h"

#include <gtest/gtest.h>

#include <string>

#include "net/csocket.h"
#include "net/host_lookup.h"
#include "support/csocket_recorder.h"
#include "support/message_pump.h"
#include "win32/win32_handles.h"

namespace {

// "localhost" typed in full-width letters: its international form is the
// plain name, which this PC resolves without asking a name server.
const std::string kWideLocalhost =
    "\xEF\xBD\x8C\xEF\xBD\x8F\xEF\xBD\x83\xEF\xBD\x81\xEF\xBD\x8C\xEF\xBD\x88"
    "\xEF\xBD\x8F\xEF\xBD\x93\xEF\xBD\x94";

}  // namespace

TEST(HostName, EachNameInTheFormTheLookupsTake) {
  const std::string longLabel(64, 'a');
  const struct {
    std::string Typed, LookedUp;
  } cases[] = {
      {"localhost", "localhost"},
      {"127.0.0.1", "127.0.0.1"},
      {"r\xC3\xA4ksm\xC3\xB6rg\xC3\xA5s.se", "xn--rksmrgs-5wao1o.se"},
      {std::string("B\xC3\xBC") + "cher.example", "xn--bcher-kva.example"},
      {kWideLocalhost, "localhost"},
      // No international form (a label over 63 characters): left as it is.
      {"\xC3\xA4" + longLabel + ".lan", "\xC3\xA4" + longLabel + ".lan"},
  };
  for (const auto& c : cases) EXPECT_EQ(HostNameForLookup(c.Typed), c.LookedUp) << c.Typed;
}

TEST(HostName, BothLookupsFindANameTypedInFullWidthLetters) {
  Server server;
  Recorder events;
  const auto client = CSocket::Create(&events);
  client->Connect(kWideLocalhost, server.port);
  ASSERT_TRUE(PumpUntil([&] { return client->State() == CSocket::StateConnected || !events.events.empty(); }))
      << "no answer from the lookup";
  ASSERT_EQ(client->State(), CSocket::StateConnected) << (events.events.empty() ? "" : events.events.back());
  EXPECT_EQ(client->RemoteHostIP(), "127.0.0.1");
  ASSERT_TRUE(server.WaitConnected());

  const UniqueKernelHandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const auto found = LookUpHost(kWideLocalhost, 5555, never.get());
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->Error, 0);
  EXPECT_EQ(found->Address.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(ntohs(found->Address.sin_port), 5555);
}
