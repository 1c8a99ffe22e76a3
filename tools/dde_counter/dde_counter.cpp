// dde_counter: a bare DDE client for measurements. It links to the decoder
// services it is told (topic "ACARS", item "LiveData", hot advise loop in
// text format, as the bridge does), counts the texts that arrive and does
// nothing else with them; then it prints the count and the rate from the
// first to the last text. With --latency it also takes the "TS=" stamp the
// decoder simulator put in each text (microseconds of the performance
// counter) and prints how long each text took from publishing to this
// program's callback.
//
//   dde_counter [--services A,B,..] [--count N] [--idle-exit MS] [--ready-file PATH]
//               [--latency]
//
// It ends after N texts, or when none came for --idle-exit milliseconds
// (default 3000) after the first one.

#include <windows.h>

#include <ddeml.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"

namespace {

long gTexts = 0;
long long gBytes = 0;
ULONGLONG gFirst = 0, gLast = 0;
DWORD gInstance = 0;
bool gLatency = false;
std::vector<long long> gLatencies;  // microseconds

long long NowMicroseconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return now.QuadPart * 1000000 / frequency.QuadPart;
}

HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
  if (type != XTYP_ADVDATA) return nullptr;
  const long long now = gLatency ? NowMicroseconds() : 0;
  gLast = GetTickCount64();
  if (gTexts++ == 0) gFirst = gLast;
  DWORD size = 0;
  const auto* text = reinterpret_cast<const char*>(DdeAccessData(data, &size));
  gBytes += size;
  if (gLatency && text) {
    const std::string_view view(text, strnlen(text, size));
    if (const auto at = view.find("TS="); at != std::string_view::npos) {
      gLatencies.push_back(now - std::atoll(text + at + 3));
    }
  }
  if (text) DdeUnaccessData(data);
  return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> services{"SkySpy", "WinACARS", "ANAD", "POSFIX"};
  long count = -1;
  ULONGLONG idleExit = 3000;
  std::string readyFile;
  CommandLine args("dde_counter", argc, argv);
  while (args.Next()) {
    if (args.Is("--services")) {
      services.clear();
      std::stringstream list(args.Value());
      for (std::string s; std::getline(list, s, ',');) services.push_back(s);
    } else if (args.Is("--count")) {
      count = args.Number();
    } else if (args.Is("--idle-exit")) {
      idleExit = static_cast<ULONGLONG>(args.Number());
    } else if (args.Is("--ready-file")) {
      readyFile = args.Value();
    } else if (args.Is("--latency")) {
      gLatency = true;
    } else {
      args.Unknown();
    }
  }
  if (DdeInitializeA(&gInstance, &Callback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) return 1;
  HSZ topic = DdeCreateStringHandleA(gInstance, "ACARS", CP_WINANSI);
  HSZ item = DdeCreateStringHandleA(gInstance, "LiveData", CP_WINANSI);
  int links = 0;
  for (const std::string& name : services) {
    HSZ service = DdeCreateStringHandleA(gInstance, name.c_str(), CP_WINANSI);
    if (HCONV conv = DdeConnect(gInstance, service, topic, nullptr)) {
      DWORD result = 0;
      if (DdeClientTransaction(nullptr, 0, conv, item, CF_TEXT, XTYP_ADVSTART, 2000, &result)) ++links;
    }
    DdeFreeStringHandle(gInstance, service);
  }
  std::printf("dde_counter: %d links\n", links);
  std::fflush(stdout);
  if (!readyFile.empty()) std::fclose(std::fopen(readyFile.c_str(), "w"));

  MSG msg;
  while ((count < 0 || gTexts < count) && !(gTexts > 0 && GetTickCount64() - gLast > idleExit)) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  const double ms = static_cast<double>(gLast - gFirst);
  std::printf("dde_counter: %ld texts, %lld bytes; first to last text: %.0f ms, %.0f texts/s\n", gTexts, gBytes, ms,
              ms > 0 ? (gTexts - 1) * 1000.0 / ms : 0.0);
  if (!gLatencies.empty()) {
    std::sort(gLatencies.begin(), gLatencies.end());
    const auto at = [](double q) { return gLatencies[static_cast<std::size_t>(q * (gLatencies.size() - 1))]; };
    std::printf("latency: median %.2f ms, 99th percentile %.2f ms, max %.2f ms over %zu texts\n", at(0.5) / 1000.0,
                at(0.99) / 1000.0, gLatencies.back() / 1000.0, gLatencies.size());
  }
  DdeUninitialize(gInstance);
  return 0;
}
