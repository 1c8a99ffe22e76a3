// The status page of the real program: it serves the bridge's own counts
// and messages, a port that is taken is reported in panel 5 while the
// messages go on, new settings move it, the health check follows the
// client port and the capture, and the program's end closes an event stream
// that is open.

#include <windows.h>
#include <winsock2.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <string>

#include "support/decoder_texts.h"
#include "support/program_fixture.h"
#include "support/temp_working_dir.h"

namespace {

// The whole answer to a GET of `path`, read until the server closes.
std::string HttpGet(int port, const std::string& path) {
  const SOCKET s = ConnectLoopback(port);
  if (s == INVALID_SOCKET) return "(refused)";
  const std::string request = "GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  send(s, request.data(), static_cast<int>(request.size()), 0);
  std::string answer;
  char buffer[4096];
  for (int n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, static_cast<std::size_t>(n));
  closesocket(s);
  return answer;
}

Settings WithPage(int httpPort) {
  Settings settings = TestSettings();
  settings.HttpPort = httpPort;
  return settings;
}

void Forward(Program& p, const std::string& content) {
  p.bridge.Router().Submit(Downlink(content), p.bridge.Links().RouterInput(DecoderLinks::SkySpyIn));
  p.bridge.Flush();
}

}  // namespace

TEST(StatusPage, ServesTheBridgesCountsAndMessages) {
  Program p(WithPage(FreeTcpPort()));
  ASSERT_NE(p.bridge.StatusServer(), nullptr);
  const int http = p.bridge.StatusServer()->Port();
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  for (int i = 1; i <= 3; ++i) Forward(p, "PAGE " + std::to_string(i) + " <b>bold</b>");
  ASSERT_TRUE(client.WaitRecords(3));
  // Published when a message comes; the page reads the copy.
  ASSERT_TRUE(PumpUntil([&] { return HttpGet(http, "/api/status").find("PAGE 3") != std::string::npos; }, 5000));
  const std::string metrics = HttpGet(http, "/metrics");
  for (const char* sample :
       {"tolvan_messages_received_total{input=\"SkySpy\"} 3\n", "tolvan_messages_forwarded_total{input=\"SkySpy\"} 3\n",
        "tolvan_messages_sent_total{output=\"client port\"} 3\n", "tolvan_clients_connected 1\n",
        "tolvan_decoder_linked{decoder=\"Posfix\"} 0\n", "tolvan_build_info{version=\"" BRIDGE_VERSION "\"} 1\n"}) {
    EXPECT_NE(metrics.find(sample), std::string::npos) << sample << metrics;
  }
  const std::string status = HttpGet(http, "/api/status");
  EXPECT_NE(status.find("\"text\":\"PAGE 3 <b>bold</b>\\r\\n\""), std::string::npos) << status;
  EXPECT_LT(status.find("PAGE 3"), status.find("PAGE 1")) << "newest first";
  EXPECT_NE(HttpGet(http, "/health").find("HTTP/1.1 200 OK"), std::string::npos);
}

TEST(StatusPage, ATakenPortIsReportedAndTheBridgeRunsOnUntilNewSettingsMoveIt) {
  const int taken = FreeTcpPort();
  const SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const sockaddr_in sa = Loopback(taken);
  ASSERT_EQ(bind(holder, reinterpret_cast<const sockaddr*>(&sa), sizeof sa), 0);
  ASSERT_EQ(listen(holder, 1), 0);
  Program p(WithPage(taken));
  EXPECT_EQ(p.bridge.StatusServer(), nullptr);
  EXPECT_EQ(p.Panel(5).rfind("The status page cannot listen on 127.0.0.1:" + std::to_string(taken) + ": ", 0), 0u)
      << p.Panel(5);
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  Forward(p, "STILL FORWARDED");
  EXPECT_TRUE(client.WaitRecords(1));
  closesocket(holder);

  Settings next = p.bridge.CurrentSettings();
  next.HttpPort = FreeTcpPort();
  p.bridge.ApplySettings(next);
  ASSERT_NE(p.bridge.StatusServer(), nullptr);
  EXPECT_EQ(p.bridge.StatusServer()->Port(), next.HttpPort);
  EXPECT_EQ(p.Panel(5), "") << "the report ended with the condition";
  EXPECT_NE(HttpGet(next.HttpPort, "/health").find("200 OK"), std::string::npos);
  // Off: nothing listens any more.
  const int moved = next.HttpPort;
  next.HttpPort = 0;
  p.bridge.ApplySettings(next);
  EXPECT_EQ(p.bridge.StatusServer(), nullptr);
  EXPECT_EQ(HttpGet(moved, "/health"), "(refused)");
}

TEST(StatusPage, TheHealthIsDegradedWhileTheClientPortCannotListenAndOkWhenItListensAgain) {
  Program p(WithPage(FreeTcpPort()));
  ASSERT_NE(p.bridge.StatusServer(), nullptr);
  const int http = p.bridge.StatusServer()->Port();
  std::string health;
  EXPECT_TRUE(PumpUntil([&] { return (health = HttpGet(http, "/health")).find("200 OK") != std::string::npos; }, 5000));
  // Another program takes the port while the bridge's socket is closed: it
  // cannot listen again until the port is free.
  p.bridge.ClientPort().Socket()->CloseSocket();
  const SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in any = Loopback(p.port);
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(bind(holder, reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
  ASSERT_EQ(listen(holder, 1), 0);
  EXPECT_TRUE(PumpUntil([&] { return (health = HttpGet(http, "/health")).find("503") != std::string::npos; }, 5000));
  EXPECT_NE(health.find(R"({"status":"degraded","problems":["the client port is not listening"]})"), std::string::npos)
      << health;
  closesocket(holder);
  EXPECT_TRUE(PumpUntil([&] { return (health = HttpGet(http, "/health")).find("200 OK") != std::string::npos; }, 5000))
      << health;
  EXPECT_EQ(p.bridge.ClientPort().Socket()->State(), CSocket::StateListening);
}

class StatusPageCapture : public InTempWorkingDir {};

TEST_F(StatusPageCapture, TheHealthIsDegradedWhileTheCaptureCannotWriteAndOkWhenItWritesAgain) {
  // A file where the capture folder should be: nothing can be written there.
  std::ofstream("capture") << "in the way\n";
  Settings settings = WithPage(FreeTcpPort());
  settings.Capture = (dir_ / "capture").string();
  Program p(settings);
  ASSERT_NE(p.bridge.StatusServer(), nullptr);
  const int http = p.bridge.StatusServer()->Port();
  std::string health;
  EXPECT_TRUE(PumpUntil([&] { return (health = HttpGet(http, "/health")).find("503") != std::string::npos; }, 5000));
  EXPECT_NE(health.find(R"({"status":"degraded","problems":["the capture cannot write"]})"), std::string::npos)
      << health;
  std::filesystem::remove(dir_ / "capture");
  Forward(p, "CAPTURED");
  EXPECT_TRUE(PumpUntil([&] { return (health = HttpGet(http, "/health")).find("200 OK") != std::string::npos; }, 5000))
      << health;
}

TEST(StatusPage, TheProgramsEndClosesAnOpenEventStreamPromptly) {
  Program p(WithPage(FreeTcpPort()));
  const int http = p.bridge.StatusServer()->Port();
  const SOCKET stream = ConnectLoopback(http);
  ASSERT_NE(stream, INVALID_SOCKET);
  const std::string request = "GET /api/events HTTP/1.1\r\nHost: x\r\n\r\n";
  send(stream, request.data(), static_cast<int>(request.size()), 0);
  char buffer[4096];
  ASSERT_GT(recv(stream, buffer, sizeof buffer, 0), 0);  // the stream is open
  const auto started = std::chrono::steady_clock::now();
  p.bridge.Shutdown();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
  // The reader sees the end (after what was on its way).
  int n = 0;
  while ((n = recv(stream, buffer, sizeof buffer, 0)) > 0) {
  }
  EXPECT_EQ(n, 0);
  closesocket(stream);
}
