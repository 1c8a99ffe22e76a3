// A capture replayed through the real bridge: the decoder simulator
// publishes the texts of a small capture as the decoders they came from and
// sends its JSON object over UDP; the records a client reads must be the
// stored expected stream, and the bridge's own capture of the replay must
// hold what the first one held, byte for byte.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture_line.h"
#include "support/loopback.h"
#include "support/nested_json.h"
#include "support/program_fixture.h"
#include "support/temp_working_dir.h"

namespace fs = std::filesystem;

namespace {

const fs::path kReplayDir = BRIDGE_REPLAY_DIR;

// A record as one line: its header, then its frame text with every byte
// outside printable ASCII as \xHH.
std::string Describe(const Record& r) {
  std::string line = "source=" + std::to_string(r.Header.Source) + " squitter=" + std::to_string(r.Header.Squitter) +
                     " uplink=" + std::to_string(r.Header.Uplink) + " frame=\"";
  for (const char c : r.Frame) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b > 0x7E || c == '"' || c == '\\') {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      line += hex;
    } else {
      line += c;
    }
  }
  return line + "\"\n";
}

std::vector<CaptureRecord> ReadCapture(const fs::path& file) {
  std::vector<CaptureRecord> records;
  std::ifstream in(file, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    std::string why;
    if (auto record = ParseCaptureLine(line, why)) records.push_back(std::move(*record));
  }
  return records;
}

// The only capture file in `folder`, or an empty path.
fs::path CaptureFileIn(const fs::path& folder) {
  std::error_code error;
  fs::path found;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) found = it->path();
  return found;
}

using Replay = InTempWorkingDir;

}  // namespace

TEST_F(Replay, ACaptureReplayedThroughTheBridgeGivesTheStoredStreamAndTheSameCapture) {
  const int udpPort = FreeTcpPort();
  const fs::path captureDir = dir_ / "capture";
  Settings settings = ParseSettings({"--json-in", "udp:127.0.0.1:" + std::to_string(udpPort)});
  settings.Capture = captureDir.string();

  const std::wstring capture = L"\"" + (kReplayDir / "capture.jsonl").wstring() + L"\"";
  DecoderSimulator sim(L"--replay " + capture + L" --udp-port " + std::to_wstring(udpPort) + L" --wait-links 2 --quiet",
                       true);
  ASSERT_TRUE(sim.Ready());
  Program p(TestSettings(settings));
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  const ULONGLONG started = GetTickCount64();
  sim.Start();

  const std::string expected = ReadFile(kReplayDir / "expected_stream.txt");
  const std::size_t expectedRecords = static_cast<std::size_t>(std::count(expected.begin(), expected.end(), '\n'));
  ASSERT_GT(expectedRecords, 0u);
  client.WaitRecords(expectedRecords);
  EXPECT_EQ(sim.Wait(), 0);
  // At the captured pace: its last record came 1.6 s after its first.
  EXPECT_GE(GetTickCount64() - started, 1600u);
  PumpFor(200);  // nothing more comes
  client.Poll();
  std::string stream;
  for (const Record& r : client.records) stream += Describe(r);
  EXPECT_EQ(stream, expected);
  EXPECT_TRUE(client.reader.Error().empty());

  // The bridge's capture of the replay, written within a second or two.
  const std::vector<CaptureRecord> original = ReadCapture(kReplayDir / "capture.jsonl");
  ASSERT_EQ(original.size(), 5u);
  std::vector<CaptureRecord> again;
  EXPECT_TRUE(PumpUntil(
      [&] {
        again = ReadCapture(CaptureFileIn(captureDir));
        return again.size() >= original.size();
      },
      5000));
  ASSERT_EQ(again.size(), original.size());
  for (std::size_t i = 0; i < original.size(); ++i) {
    EXPECT_EQ(again[i].Type, original[i].Type) << i;
    EXPECT_EQ(again[i].Content, original[i].Content) << i;
    // The JSON feed has the name this bridge gives it.
    if (original[i].Type == CaptureRecord::Kind::Text) {
      EXPECT_EQ(again[i].Input, original[i].Input) << i;
    }
  }
  EXPECT_EQ(p.Panel(5), "");
}

TEST_F(Replay, AtSpeedZeroTheTextsGoAsFastAsTheLinksTakeThemInTheirOrder) {
  // Without --udp-port the objects stay behind: the stream is the stored
  // one without the JSON feed's record.
  DecoderSimulator sim(
      L"--replay \"" + (kReplayDir / "capture.jsonl").wstring() + L"\" --speed 0 --wait-links 2 --quiet", true);
  ASSERT_TRUE(sim.Ready());
  Program p;
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  sim.Start();
  std::string expected;
  std::istringstream lines(ReadFile(kReplayDir / "expected_stream.txt"));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("source=3 ", 0) != 0) expected += line + "\n";
  }
  ASSERT_TRUE(client.WaitRecords(3));
  EXPECT_EQ(sim.Wait(), 0);
  PumpFor(200);
  client.Poll();
  std::string stream;
  for (const Record& r : client.records) stream += Describe(r);
  EXPECT_EQ(stream, expected);
}

TEST_F(Replay, ACaptureFolderThatCannotBeWrittenIsReportedAndTheForwardingGoesOn) {
  std::ofstream("capture") << "a file where the folder should be\n";
  Settings settings;
  settings.Capture = (dir_ / "capture").string();
  DecoderSimulator sim(L"--services SkySpy --feed " +
                           WriteFeed({"ACARS mode: 2 Aircraft reg: .D-ABCD\r\nMessage label: H1 Block id: 3 Msg. no: "
                                      "M12A\r\nFlight id: XY012A\r\nMessage content:-\r\nHELLO\r\n"}) +
                           L" --wait-links 1 --quiet",
                       true);
  ASSERT_TRUE(sim.Ready());
  Program p(TestSettings(settings));
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  sim.Start();
  ASSERT_TRUE(client.WaitRecords(1));
  EXPECT_TRUE(PumpUntil([&] { return p.Panel(5).rfind("Capture: cannot write ", 0) == 0; }, 5000)) << p.Panel(5);
  EXPECT_NE(p.Panel(5).find("capture-"), std::string::npos);
  EXPECT_EQ(sim.Wait(), 0);
}

TEST_F(Replay, ADatagramNestedFifteenThousandLevelsDeepIsCapturedAsItCameAndTheCaptureGoesOn) {
  const int udpPort = FreeTcpPort();
  const fs::path captureDir = dir_ / "capture";
  Settings settings = ParseSettings({"--json-in", "udp:127.0.0.1:" + std::to_string(udpPort)});
  settings.Capture = captureDir.string();
  Program p(TestSettings(settings));
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));

  // The deep one counts as no JSON; the next one is a message as ever.
  const std::string deep = NestedJson(15000);
  const std::string after = R"({"mode":"2","label":"H1","tail":"N123AB","text":"AFTER"})";
  SOCKET udp = UdpSocket(0);
  const sockaddr_in to = Loopback(udpPort);
  for (const std::string& datagram : {deep, after}) {
    sendto(udp, datagram.data(), static_cast<int>(datagram.size()), 0, reinterpret_cast<const sockaddr*>(&to),
           sizeof to);
  }
  closesocket(udp);
  ASSERT_TRUE(client.WaitRecords(1));
  PumpFor(200);
  client.Poll();
  ASSERT_EQ(client.records.size(), 1u);
  EXPECT_NE(client.records[0].Frame.find("AFTER"), std::string::npos);

  std::vector<CaptureRecord> captured;
  EXPECT_TRUE(PumpUntil(
      [&] {
        captured = ReadCapture(CaptureFileIn(captureDir));
        return captured.size() >= 2;
      },
      5000));
  ASSERT_EQ(captured.size(), 2u);
  EXPECT_EQ(captured[0].Content, deep);
  EXPECT_EQ(captured[1].Content, after);
  EXPECT_EQ(p.Panel(5), "");
}

TEST_F(Replay, AHalfLineInACaptureIsSkippedAndTheRestIsPlayed) {
  // What a power cut leaves: a half line, and the next run's lines after it.
  const std::string a = R"({"input":"udp:5550","time":"2026-12-08T10:00:00.000000Z","object":{"label":"H1"}})";
  const std::string b = R"({"input":"udp:5550","time":"2026-12-08T10:00:00.100000Z","object":{"label":"H2"}})";
  std::ofstream("cut.jsonl", std::ios::binary) << a << "\n" << b.substr(0, 50) << "\n" << b << "\n";
  SOCKET udp = UdpSocket(0);
  DecoderSimulator sim(L"--replay \"" + (dir_ / "cut.jsonl").wstring() + L"\" --speed 0 --quiet --udp-port " +
                       std::to_wstring(PortOf(udp)));
  ASSERT_TRUE(sim.Ready());
  EXPECT_EQ(sim.Wait(), 0);
  std::vector<std::string> received;
  EXPECT_TRUE(PumpUntil(
      [&] {
        char buffer[2048];
        for (int n; (n = recv(udp, buffer, sizeof buffer, 0)) > 0;) received.emplace_back(buffer, n);
        return received.size() >= 2;
      },
      5000));
  closesocket(udp);
  EXPECT_EQ(received, (std::vector<std::string>{R"({"label":"H1"})", R"({"label":"H2"})"}));
}
