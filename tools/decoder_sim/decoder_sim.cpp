// decoder_sim: stands in for one or more ACARS decoder programs. It answers
// DDE as the services it is told (SkySpy, WinACARS, ANAD, POSFIX), topic
// "ACARS", item "LiveData", and publishes decoder texts on that item: from a
// feed file, from standard input, or from its built-in sample feed.
//
//   decoder_sim [--services A,B,..] [--feed FILE|-] [--count N] [--interval MS]
//               [--wait-links N] [--wait-timeout MS] [--ready-event NAME]
//               [--start-event NAME] [--ready-file PATH] [--start-file PATH]
//               [--delay MS] [--linger MS] [--quiet]
//   decoder_sim --replay FILE [--speed X] [--udp-port P] [--udp-host H] [the waits above]
//
// Text i goes to service i modulo the number of services; "{seq}" in a text
// becomes the text's sequence number, "{ts}" the time of publishing in
// microseconds of the performance counter (for latency measurements). --wait-links waits until that many
// advise loops have started, --start-event until the named event is set,
// --start-file until the file exists, --delay that many milliseconds more.
// --ready-event and --ready-file tell that the services are registered.
//
// --replay publishes a capture of the bridge's: each decoder text, byte for
// byte, as the service of the decoder it came from (one process serves all
// of them; --services is then the decoders the capture holds), and each JSON
// object as a datagram to H:P (127.0.0.1 unless --udp-host says), at the
// captured pace times X (2: twice as fast; 0: each as soon as the last is
// handed on). A line it cannot read (one a power cut or a full disk cut
// short) is skipped and counted, and the count said at the end.

#include <windows.h>

#include <ddeml.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "command_line.h"
#include "feed.h"
#include "replay.h"
#include "udp_sender.h"

namespace {

constexpr const char* kTopic = "ACARS";
constexpr const char* kItem = "LiveData";
constexpr int kSampleFeedResource = 1;

struct Options {
  std::vector<std::string> services{"SkySpy", "WinACARS", "ANAD", "POSFIX"};
  std::string feed;  // empty: the built-in sample
  long count = -1;   // -1: each text of the feed once
  DWORD interval = 0;
  long waitLinks = 0;
  DWORD waitTimeout = 30000;
  std::string readyEvent, startEvent, readyFile, startFile;
  DWORD delay = 0;
  DWORD linger = 500;
  bool quiet = false;
  bool servicesGiven = false;
  std::string replay;  // a capture file
  double speed = 1;
  std::string udpHost = "127.0.0.1";
  long udpPort = 0;  // 0: JSON objects are not sent
};

struct Service {
  std::string name;
  HSZ hsz = nullptr;
  std::string text;  // the current value of its item
};

DWORD gInstance = 0;
HSZ gTopic = nullptr, gItem = nullptr;
std::vector<Service> gServices;
std::map<HCONV, std::size_t> gConversations;  // conversation -> service
std::set<HCONV> gPending;                     // conversations owed the new value
long gLinks = 0;

std::size_t ServiceOf(HSZ hsz) {
  for (std::size_t i = 0; i < gServices.size(); ++i) {
    if (DdeCmpStringHandles(gServices[i].hsz, hsz) == 0) return i;
  }
  return gServices.size();
}

std::size_t ServiceOf(const std::string& name) {
  for (std::size_t i = 0; i < gServices.size(); ++i) {
    if (gServices[i].name == name) return i;
  }
  return gServices.size();
}

HDDEDATA TextData(const std::string& text, HSZ item) {
  return DdeCreateDataHandle(gInstance, reinterpret_cast<LPBYTE>(const_cast<char*>(text.c_str())),
                             static_cast<DWORD>(text.size() + 1), 0, item, CF_TEXT, 0);
}

HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  switch (type) {
    case XTYP_CONNECT:
      return reinterpret_cast<HDDEDATA>(
          static_cast<INT_PTR>(DdeCmpStringHandles(hsz1, gTopic) == 0 && ServiceOf(hsz2) < gServices.size()));
    case XTYP_CONNECT_CONFIRM:
      gConversations[conv] = ServiceOf(hsz2);
      return nullptr;
    case XTYP_DISCONNECT:
      gConversations.erase(conv);
      gPending.erase(conv);
      return nullptr;
    case XTYP_ADVSTART:
      if (format != CF_TEXT || DdeCmpStringHandles(hsz2, gItem) != 0) return nullptr;
      ++gLinks;
      return reinterpret_cast<HDDEDATA>(TRUE);
    case XTYP_ADVREQ: {
      // Every link of the topic is asked; only those of the service that has
      // a new value get it.
      if (!gPending.erase(conv)) return nullptr;
      return TextData(gServices[gConversations[conv]].text, hsz2);
    }
    case XTYP_REQUEST: {
      const auto it = gConversations.find(conv);
      if (it == gConversations.end() || format != CF_TEXT) return nullptr;
      return TextData(gServices[it->second].text, hsz2);
    }
    default:
      return nullptr;
  }
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Pumps messages until `done` or the timeout; returns `done`'s last answer.
template <typename Done>
bool PumpUntil(Done done, DWORD timeout, HANDLE event = nullptr) {
  const ULONGLONG end = GetTickCount64() + timeout;
  for (;;) {
    Pump();
    if (done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    const DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(end - now, 20));
    MsgWaitForMultipleObjects(event ? 1 : 0, event ? &event : nullptr, FALSE, wait, QS_ALLINPUT);
  }
}

std::string StampText(std::string text) {
  const auto at = text.find("{ts}");
  if (at == std::string::npos) return text;
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return text.replace(at, 4, std::to_string(now.QuadPart * 1000000 / frequency.QuadPart));
}

void Publish(std::size_t service, const std::string& text) {
  gServices[service].text = text;
  for (const auto& [conv, s] : gConversations) {
    if (s == service) gPending.insert(conv);
  }
  DdePostAdvise(gInstance, gTopic, gItem);
  gPending.clear();
}

std::string SampleFeed() {
  HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCEA(kSampleFeedResource), MAKEINTRESOURCEA(10));  // RT_RCDATA
  if (!res) return {};
  HGLOBAL data = LoadResource(nullptr, res);
  return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(nullptr, res));
}

std::string ReadFeed(const std::string& name) {
  if (name.empty()) return SampleFeed();
  if (name == "-") return std::string(std::istreambuf_iterator<char>(std::cin), {});
  std::ifstream in(name, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "decoder_sim: cannot read %s\n", name.c_str());
    std::exit(2);
  }
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Options Parse(int argc, char** argv) {
  Options o;
  CommandLine args("decoder_sim", argc, argv);
  while (args.Next()) {
    if (args.Is("--services")) {
      o.services.clear();
      o.servicesGiven = true;
      std::stringstream list(args.Value());
      for (std::string s; std::getline(list, s, ',');) o.services.push_back(s);
    } else if (args.Is("--feed")) {
      o.feed = args.Value();
    } else if (args.Is("--count")) {
      o.count = args.Number();
    } else if (args.Is("--interval")) {
      o.interval = static_cast<DWORD>(args.Number());
    } else if (args.Is("--wait-links")) {
      o.waitLinks = args.Number();
    } else if (args.Is("--wait-timeout")) {
      o.waitTimeout = static_cast<DWORD>(args.Number());
    } else if (args.Is("--ready-event")) {
      o.readyEvent = args.Value();
    } else if (args.Is("--start-event")) {
      o.startEvent = args.Value();
    } else if (args.Is("--ready-file")) {
      o.readyFile = args.Value();
    } else if (args.Is("--start-file")) {
      o.startFile = args.Value();
    } else if (args.Is("--delay")) {
      o.delay = static_cast<DWORD>(args.Number());
    } else if (args.Is("--linger")) {
      o.linger = static_cast<DWORD>(args.Number());
    } else if (args.Is("--replay")) {
      o.replay = args.Value();
    } else if (args.Is("--speed")) {
      const std::string value = args.Value();
      char* end = nullptr;
      o.speed = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !(o.speed >= 0)) {
        std::fprintf(stderr, "decoder_sim: --speed %s: a number from 0 up is allowed\n", value.c_str());
        std::exit(2);
      }
    } else if (args.Is("--udp-port")) {
      o.udpPort = args.Number();
    } else if (args.Is("--udp-host")) {
      o.udpHost = args.Value();
    } else if (args.Is("--quiet")) {
      o.quiet = true;
    } else {
      args.Unknown();
    }
  }
  return o;
}

ReplayPlan ReadReplayFile(const std::string& name) {
  try {
    ReplayPlan plan = ReadReplay(ReadFeed(name));
    if (plan.Steps.empty()) throw std::runtime_error(plan.Skipped ? "no record; " + plan.FirstSkipped : "no record");
    return plan;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "decoder_sim: %s: %s\n", name.c_str(), e.what());
    std::exit(2);
  }
}

// Publishes the capture; returns the number of texts and objects sent.
long Replay(const Options& o, const ReplayPlan& plan) {
  std::unique_ptr<UdpSender> udp;
  if (plan.Objects > 0 && o.udpPort > 0) {
    udp = std::make_unique<UdpSender>(o.udpHost, o.udpPort);
    if (!udp->Ready()) std::fprintf(stderr, "decoder_sim: cannot send to %s:%ld\n", o.udpHost.c_str(), o.udpPort);
  } else if (plan.Objects > 0) {
    std::fprintf(stderr, "decoder_sim: %zu JSON objects not sent: no --udp-port\n", plan.Objects);
  }
  long sent = 0;
  const ULONGLONG began = GetTickCount64();
  for (const ReplayStep& step : plan.Steps) {
    const ULONGLONG due = began + static_cast<ULONGLONG>(DueMicros(step, o.speed) / 1000);
    const ULONGLONG now = GetTickCount64();
    if (due > now) PumpUntil([] { return false; }, static_cast<DWORD>(due - now));
    if (step.Service.empty()) {
      if (udp && udp->Ready() && udp->Send(step.Bytes)) ++sent;
      continue;
    }
    Publish(ServiceOf(step.Service), step.Bytes);
    Pump();
    ++sent;
  }
  return sent;
}

}  // namespace

int main(int argc, char** argv) {
  Options o = Parse(argc, argv);
  ReplayPlan plan;
  if (!o.replay.empty()) {
    plan = ReadReplayFile(o.replay);
    if (!o.servicesGiven) o.services = plan.Services;
    for (const std::string& service : plan.Services) {
      if (std::find(o.services.begin(), o.services.end(), service) == o.services.end()) {
        std::fprintf(stderr, "decoder_sim: the capture has texts of %s, which --services leaves out\n",
                     service.c_str());
        return 2;
      }
    }
  }
  const std::vector<std::string> feed = o.replay.empty() ? SplitFeed(ReadFeed(o.feed)) : std::vector<std::string>{};
  if ((feed.empty() && plan.Steps.empty()) || (o.services.empty() && plan.Objects == 0)) {
    std::fprintf(stderr, "decoder_sim: nothing to publish\n");
    return 2;
  }
  if (DdeInitializeA(&gInstance, &Callback, CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS, 0) != DMLERR_NO_ERROR) {
    std::fprintf(stderr, "decoder_sim: DDE is not available\n");
    return 1;
  }
  gTopic = DdeCreateStringHandleA(gInstance, kTopic, CP_WINANSI);
  gItem = DdeCreateStringHandleA(gInstance, kItem, CP_WINANSI);
  for (const std::string& name : o.services) {
    gServices.push_back({name, DdeCreateStringHandleA(gInstance, name.c_str(), CP_WINANSI), {}});
    DdeNameService(gInstance, gServices.back().hsz, nullptr, DNS_REGISTER);
  }
  if (!o.readyEvent.empty()) {
    if (HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, o.readyEvent.c_str())) {
      SetEvent(ready);
      CloseHandle(ready);
    }
  }

  if (!o.readyFile.empty()) std::ofstream(o.readyFile) << "ready\n";

  int rc = 0;
  if (o.waitLinks > 0 && !PumpUntil([&] { return gLinks >= o.waitLinks; }, o.waitTimeout)) {
    std::fprintf(stderr, "decoder_sim: only %ld of %ld links started\n", gLinks, o.waitLinks);
    rc = 3;
  }
  if (rc == 0 && !o.startEvent.empty()) {
    HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, o.startEvent.c_str());
    if (!start || !PumpUntil([&] { return WaitForSingleObject(start, 0) == WAIT_OBJECT_0; }, o.waitTimeout, start)) {
      std::fprintf(stderr, "decoder_sim: no start signal\n");
      rc = 3;
    }
    if (start) CloseHandle(start);
  }

  if (rc == 0 && !o.startFile.empty() &&
      !PumpUntil([&] { return GetFileAttributesA(o.startFile.c_str()) != INVALID_FILE_ATTRIBUTES; }, o.waitTimeout)) {
    std::fprintf(stderr, "decoder_sim: %s did not appear\n", o.startFile.c_str());
    rc = 3;
  }
  if (rc == 0 && o.delay) PumpUntil([] { return false; }, o.delay);
  long published = 0;
  ULONGLONG publishMs = 0;
  if (rc == 0 && !o.replay.empty()) {
    const ULONGLONG began = GetTickCount64();
    published = Replay(o, plan);
    publishMs = GetTickCount64() - began;
    PumpUntil([] { return false; }, o.linger);
  } else if (rc == 0) {
    const ULONGLONG began = GetTickCount64();
    const long count = o.count < 0 ? static_cast<long>(feed.size()) : o.count;
    for (long i = 0; i < count; ++i) {
      const std::size_t service = static_cast<std::size_t>(i) % gServices.size();
      Publish(service,
              StampText(NumberText(feed[static_cast<std::size_t>(i) % feed.size()], static_cast<unsigned>(i))));
      ++published;
      if (o.interval) {
        // Paced from the start, so that the time spent publishing does not
        // slow the rate down.
        const ULONGLONG due = began + static_cast<ULONGLONG>(i + 1) * o.interval;
        const ULONGLONG now = GetTickCount64();
        PumpUntil([] { return false; }, due > now ? static_cast<DWORD>(due - now) : 0);
      } else {
        Pump();
      }
    }
    publishMs = GetTickCount64() - began;
    PumpUntil([] { return false; }, o.linger);
  }
  if (!o.quiet) {
    std::printf("decoder_sim: published %ld texts in %llu ms, %ld links\n", published,
                static_cast<unsigned long long>(publishMs), gLinks);
  }
  // Said even when quiet: the replay was not the whole capture.
  if (plan.Skipped > 0) {
    std::fprintf(stderr, "decoder_sim: %s: %zu unreadable lines skipped (the first: %s)\n", o.replay.c_str(),
                 plan.Skipped, plan.FirstSkipped.c_str());
  }
  std::fflush(stdout);

  for (Service& s : gServices) {
    DdeNameService(gInstance, s.hsz, nullptr, DNS_UNREGISTER);
    DdeFreeStringHandle(gInstance, s.hsz);
  }
  DdeFreeStringHandle(gInstance, gItem);
  DdeFreeStringHandle(gInstance, gTopic);
  DdeUninitialize(gInstance);
  return rc;
}
