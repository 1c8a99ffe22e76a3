// record_sender: measures what plain loopback TCP carries, for comparison
// with the bridge. It turns the texts of a decoder feed into records exactly
// as the bridge does, listens on a port, and sends the first client --count
// records as fast as it can, in pieces of up to 64 KB, then closes.
//
//   record_sender --feed FILE [--port P] [--count N] [--ready-file PATH]
//
// --ready-file is written once the port listens.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "command_line.h"
#include "feed.h"
#include "pipeline/forwarding.h"

#ifdef _WIN32
#include <winsock2.h>
using Socket = SOCKET;
void CloseSocket(Socket s) {
  closesocket(s);
}
#else
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using Socket = int;
void CloseSocket(Socket s) {
  close(s);
}
#endif

int main(int argc, char** argv) {
  std::string feed;
  int port = 2202;
  long count = 5000;
  std::string readyFile;
  CommandLine args("record_sender", argc, argv);
  while (args.Next()) {
    if (args.Is("--feed")) {
      feed = args.Value();
    } else if (args.Is("--port")) {
      port = static_cast<int>(args.Number());
    } else if (args.Is("--count")) {
      count = args.Number();
    } else if (args.Is("--ready-file")) {
      readyFile = args.Value();
    } else {
      args.Unknown();
    }
  }
  std::ifstream in(feed, std::ios::binary);
  const std::vector<std::string> texts = SplitFeed(std::string(std::istreambuf_iterator<char>(in), {}));
  std::vector<std::string> records;
  for (const std::string& t : texts) {
    if (auto f = PrepareMessage(t, DecoderSource::AirNavPosfix)) records.push_back(RecordBytes(*f));
  }
  if (records.empty()) {
    std::fprintf(stderr, "record_sender: no texts in %s\n", feed.c_str());
    return 2;
  }
#ifdef _WIN32
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
#endif
  Socket listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<unsigned short>(port));
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(listener, 1) != 0) {
    std::fprintf(stderr, "record_sender: cannot listen on %d\n", port);
    return 2;
  }
  if (!readyFile.empty()) std::ofstream(readyFile) << "ready\n";
  Socket client = accept(listener, nullptr, nullptr);
  std::string chunk;
  for (long i = 0; i < count; ++i) {
    chunk += records[static_cast<std::size_t>(i) % records.size()];
    if (chunk.size() >= 64 * 1024 || i + 1 == count) {
      for (std::size_t sent = 0; sent < chunk.size();) {
        const int n = static_cast<int>(send(client, chunk.data() + sent, static_cast<int>(chunk.size() - sent), 0));
        if (n <= 0) return 1;
        sent += static_cast<std::size_t>(n);
      }
      chunk.clear();
    }
  }
  CloseSocket(client);
  CloseSocket(listener);
  return 0;
}
