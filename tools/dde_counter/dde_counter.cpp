// dde_counter: a bare DDE client for measurements. It links to the decoder
// services it is told (topic "ACARS", item "LiveData", hot advise loop in
// text format, as the bridge does), counts the texts that arrive and does
// nothing else with them; then it prints the count and the rate from the
// first to the last text.
//
//   dde_counter [--services A,B,..] [--count N] [--idle-exit MS] [--ready-file PATH]
//
// It ends after N texts, or when none came for --idle-exit milliseconds
// (default 3000) after the first one.

#include <windows.h>

#include <ddeml.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "command_line.h"

namespace {

long gTexts = 0;
long long gBytes = 0;
ULONGLONG gFirst = 0, gLast = 0;
DWORD gInstance = 0;

HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
  if (type != XTYP_ADVDATA) return nullptr;
  gLast = GetTickCount64();
  if (gTexts++ == 0) gFirst = gLast;
  gBytes += DdeGetData(data, nullptr, 0, 0);
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
  DdeUninitialize(gInstance);
  return 0;
}
