// record_viewer: a client of the bridge. It connects to a host and port
// (127.0.0.1:2201 unless told otherwise), reads the record stream, checks
// every header and prints each record readably.
//
//   record_viewer [--host H] [--port P] [--hex] [--count-only] [--limit N]
//                 [--idle-exit MS] [--no-reconnect] [--ready-file PATH] [--latency]
//
// It reconnects when the bridge goes away, unless --no-reconnect. It ends
// after --limit records, after --idle-exit milliseconds without data once
// data has come, or on Ctrl-C, and then prints a line of totals. With
// --ready-file it creates that file once it is connected. --latency reads
// "TS=<microseconds>" that the decoder simulator put into a text and reports
// the median and 99th percentile of the time to arrival (the native build
// reads the clock that Wine's performance counter reads). The exit code is 1
// when any record was malformed.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "command_line.h"
#include "pipeline/decoder_source.h"
#include "pipeline/frame_reader.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
void CloseSocket(Socket s) {
  closesocket(s);
}
#else
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
using Socket = int;
constexpr Socket kNoSocket = -1;
void CloseSocket(Socket s) {
  close(s);
}
#endif

namespace {

struct Options {
  std::string host = "127.0.0.1";
  std::string port = "2201";
  bool hex = false;
  bool countOnly = false;
  long limit = -1;
  long idleExitMs = -1;
  bool reconnect = true;
  std::string readyFile;
  bool latency = false;
};

volatile std::sig_atomic_t gStop = 0;

// Microseconds of the clock the decoder simulator stamps its texts with.
long long NowMicroseconds() {
#ifdef _WIN32
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return now.QuadPart * 1000000 / frequency.QuadPart;
#else
  // Wine's performance counter reads this clock, so a native viewer can
  // measure the latency of texts stamped by a simulator under Wine.
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_RAW, &now);
  return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
#endif
}

struct Totals {
  std::vector<long long> latencies;
  std::chrono::steady_clock::time_point first, last;
  long records = 0;
  long long bytes = 0;
  long malformed = 0;
  std::map<DecoderSource, long> bySource;
};

void PrintRecord(const Record& r, const Options& o, Totals& t) {
  if (!ParseFrameText(r.Frame)) ++t.malformed;
  if (o.latency) {
    if (const auto at = r.Frame.find("TS="); at != std::string::npos) {
      t.latencies.push_back(NowMicroseconds() - std::atoll(r.Frame.c_str() + at + 3));
    }
  }
  if (o.countOnly) return;
  std::string text = DescribeRecord(r, t.records);
  if (o.hex) {
    const FrameHeader::Bytes h = r.Header.ToBytes();
    text += HexDump(std::string(h.begin(), h.end()) + r.Frame);
  }
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

Socket Connect(const Options& o) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(o.host.c_str(), o.port.c_str(), &hints, &found) != 0 || !found) return kNoSocket;
  Socket s = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
  if (s != kNoSocket && connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0) {
    CloseSocket(s);
    s = kNoSocket;
  }
  freeaddrinfo(found);
  return s;
}

// Waits up to `ms` for data; true when there is some (or the peer closed).
bool Readable(Socket s, int ms) {
#ifdef _WIN32
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &tv) > 0;
#else
  pollfd p{s, POLLIN, 0};
  return poll(&p, 1, ms) > 0;
#endif
}

Options Parse(int argc, char** argv) {
  Options o;
  CommandLine args("record_viewer", argc, argv);
  while (args.Next()) {
    if (args.Is("--host")) {
      o.host = args.Value();
    } else if (args.Is("--port")) {
      o.port = args.Value();
    } else if (args.Is("--hex")) {
      o.hex = true;
    } else if (args.Is("--count-only")) {
      o.countOnly = true;
    } else if (args.Is("--limit")) {
      o.limit = args.Number();
    } else if (args.Is("--idle-exit")) {
      o.idleExitMs = args.Number();
    } else if (args.Is("--ready-file")) {
      o.readyFile = args.Value();
    } else if (args.Is("--latency")) {
      o.latency = true;
    } else if (args.Is("--no-reconnect")) {
      o.reconnect = false;
    } else {
      args.Unknown();
    }
  }
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  std::signal(SIGINT, [](int) { gStop = 1; });
#ifdef _WIN32
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
#endif
  Totals t;
  using Clock = std::chrono::steady_clock;
  auto lastData = Clock::now();
  bool anyData = false;
  auto idle = [&] {
    return anyData && o.idleExitMs >= 0 && Clock::now() - lastData > std::chrono::milliseconds(o.idleExitMs);
  };
  bool done = false;
  while (!done && !gStop && !idle()) {
    Socket s = Connect(o);
    if (s == kNoSocket) {
      if (!o.reconnect) {
        std::fprintf(stderr, "record_viewer: cannot connect to %s:%s\n", o.host.c_str(), o.port.c_str());
        return 2;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      continue;
    }
    if (!o.readyFile.empty()) std::fclose(std::fopen(o.readyFile.c_str(), "w"));
    RecordReader reader;
    char buf[65536];
    while (!done && !gStop) {
      if (!Readable(s, 100)) {
        if (idle()) break;
        continue;
      }
      const int n = static_cast<int>(recv(s, buf, sizeof buf, 0));
      if (n <= 0) break;  // the bridge went away
      lastData = Clock::now();
      anyData = true;
      t.bytes += n;
      reader.Feed(std::string_view(buf, static_cast<std::size_t>(n)));
      while (auto r = reader.Next()) {
        t.last = Clock::now();
        if (t.records == 0) t.first = t.last;
        PrintRecord(*r, o, t);
        ++t.records;
        ++t.bySource[*SourceFromNumber(r->Header.Source)];  // the reader passes known sources only
        if (o.limit >= 0 && t.records >= o.limit) done = true;
      }
      if (!reader.Error().empty()) {
        // The stream cannot be followed past a bad header: start afresh.
        std::printf("malformed header: %s\n", reader.Error().c_str());
        ++t.malformed;
        break;
      }
    }
    CloseSocket(s);
    if (!o.reconnect) break;
  }
  std::string bySource;
  for (const DecoderSource s : {DecoderSource::SkySpy, DecoderSource::Airmaster, DecoderSource::AirNavPosfix}) {
    bySource += (bySource.empty() ? "" : ", ") + std::string(SourceName(s)) + " " + std::to_string(t.bySource[s]);
  }
  if (t.bySource[DecoderSource::Other] > 0) {
    bySource += ", Other " + std::to_string(t.bySource[DecoderSource::Other]);
  }
  std::printf("totals: %ld records (%s), %lld bytes, %ld malformed\n", t.records, bySource.c_str(), t.bytes,
              t.malformed);
  if (!t.latencies.empty()) {
    std::sort(t.latencies.begin(), t.latencies.end());
    const auto at = [&](double q) { return t.latencies[static_cast<std::size_t>(q * (t.latencies.size() - 1))]; };
    std::printf("latency: median %.2f ms, 99th percentile %.2f ms, max %.2f ms over %zu records\n", at(0.5) / 1000.0,
                at(0.99) / 1000.0, t.latencies.back() / 1000.0, t.latencies.size());
  }
  if (o.countOnly && t.records > 1) {
    const double ms = std::chrono::duration<double, std::milli>(t.last - t.first).count();
    std::printf("first to last record: %.0f ms, %.0f records/s\n", ms, ms > 0 ? (t.records - 1) * 1000.0 / ms : 0.0);
  }
  return t.malformed ? 1 : 0;
}
