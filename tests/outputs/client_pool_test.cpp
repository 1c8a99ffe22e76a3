// The pool of clients on its own: a request that is no connection takes no
// slot, and the clients after it are served.

#include "outputs/client_pool.h"

#include <gtest/gtest.h>

#include "outputs/client_port_output.h"
#include "support/decoder_texts.h"
#include "support/loopback.h"
#include "support/message_pump.h"
#include "support/test_router.h"
#include "support/winsock_environment.h"

namespace {

struct Pool : ::testing::Test {
  QuietRouterEvents events;
  MessageRouter router{events};
  ClientPool pool{router, 2,
                  [](CSocket* socket) { return std::make_unique<ClientPortOutput>([socket] { return socket; }); }};
};

// A listener of the test and a connected request for it, as the accept
// notification hands one over.
struct Requests {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  int port = FreeTcpPort();
  std::vector<SOCKET> clients;
  Requests() {
    const sockaddr_in sa = Loopback(port);
    bind(listener, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    listen(listener, 8);
  }
  ~Requests() {
    for (SOCKET c : clients) closesocket(c);
    closesocket(listener);
  }
  std::intptr_t Next() {
    clients.push_back(ConnectLoopback(port));
    return static_cast<std::intptr_t>(accept(listener, nullptr, nullptr));
  }
};

}  // namespace

TEST_F(Pool, FailedAcceptsTakeNoSlot) {
  Requests requests;
  // A failed accept, and a request whose socket is already closed.
  EXPECT_FALSE(pool.Accept(CSocket::kNoSocket));
  const std::intptr_t closed = requests.Next();
  closesocket(static_cast<SOCKET>(closed));
  EXPECT_FALSE(pool.Accept(closed));
  EXPECT_EQ(pool.Count(), 0u);
  EXPECT_EQ(pool.Refused(), 0u) << "nobody was refused: there was nobody";

  EXPECT_TRUE(pool.Accept(requests.Next()));
  EXPECT_TRUE(pool.Accept(requests.Next()));
  EXPECT_EQ(pool.Count(), 2u);
  EXPECT_FALSE(pool.Accept(requests.Next())) << "full";
  EXPECT_EQ(pool.Refused(), 1u);
}

TEST(ClientPoolVanished, AClientThatVanishedFreesItsSlotAndWhatItHeldCountsAsDropped) {
  QuietRouterEvents events;
  MessageRouter router{events};
  std::vector<CSocket*> sockets;
  ClientPool pool{router, 2, [&](CSocket* socket) {
                    sockets.push_back(socket);
                    return std::make_unique<ClientPortOutput>([socket] { return socket; });
                  }};
  Requests requests;
  const std::size_t input = router.AddInput("SkySpy", DecoderSource::SkySpy);
  ASSERT_TRUE(pool.Accept(requests.Next()));
  ASSERT_TRUE(pool.Accept(requests.Next()));
  // Neither client reads: once the system's buffers are full, the records
  // wait in the first one's socket.
  const std::string big(20000, 'x');
  int submitted = 0;
  while (sockets[0]->PendingSendBytes() == 0 && submitted < 2000) {
    router.Submit(Downlink("R" + std::to_string(submitted++) + " " + big), input);
    PumpFor(1);
  }
  ASSERT_GT(sockets[0]->PendingSendBytes(), 0u);
  const std::uint64_t droppedBefore = pool.TotalDropped();
  const std::uint64_t keptBefore = pool.TotalSent();

  // The system gives up on the peer, as after a keepalive or the bound on
  // unacknowledged data.
  sockets[0]->PostSocketEvent(FD_CLOSE, WSAETIMEDOUT);
  EXPECT_EQ(pool.Count(), 1u);
  EXPECT_GT(pool.TotalDropped(), droppedBefore) << "what its socket held never arrived";
  EXPECT_EQ(pool.TotalSent() + pool.TotalDropped(), keptBefore + droppedBefore) << "each counted once";
  EXPECT_EQ(pool.TotalSent() + pool.TotalDropped(), 2u * static_cast<std::uint64_t>(submitted));
  EXPECT_EQ(router.TotalDropped(), pool.TotalDropped()) << "panel 4's total has every loss";
  // Its slot serves the next client.
  EXPECT_TRUE(pool.Accept(requests.Next()));
  EXPECT_EQ(pool.Refused(), 0u);
}
