#pragma once
// The real program in the test's own process, child processes of the test
// (the decoder simulator, the record viewer), and a client of the program's port that
// reads records while the test pumps the message loop.

#include <windows.h>
#include <winsock2.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pipeline/frame_reader.h"
#include "support/loopback.h"
#include "support/message_pump.h"
#include "support/windows_test_util.h"
#include "support/winsock_environment.h"
#include "ui/app_ids.h"
#include "ui/main_window.h"

// Settings for a test: a port of its own, no status page (its tests give
// it a port of its own), the rest as given.
inline Settings TestSettings(Settings settings = {}) {
  settings.Port = FreeTcpPort();
  settings.HttpPort = 0;
  return settings;
}

// The started program on a port of its own, with its status bar at hand.
struct Program {
  int port;
  Bridge bridge;
  frmMain form;
  explicit Program(const Settings& settings = TestSettings())
      : port(settings.Port), bridge(settings), form(GetModuleHandleW(nullptr), bridge) {
    form.Load();
  }
  std::string Panel(int panel) { return StatusText(form.StatusBar().hWnd(), panel - 1); }
  bool WaitPanel1(const std::string& text, DWORD ms = 3000) {
    return PumpUntil([&] { return Panel(1) == text; }, ms);
  }
  bool Checked(UINT command) { return (GetMenuState(form.MenuBar(), command, MF_BYCOMMAND) & MF_CHECKED) != 0; }
  void Click(UINT command) { SendMessageW(form.hwnd(), WM_COMMAND, command, 0); }
  std::string Display() {
    wchar_t text[8192] = {};
    GetWindowTextW(form.dspMsg(), text, 8192);
    return ToSingleByte(reinterpret_cast<const char16_t*>(text));
  }
};

// A TCP client of 127.0.0.1:port that collects records without blocking.
struct StreamClient {
  SOCKET s = INVALID_SOCKET;
  RecordReader reader;
  std::vector<Record> records;
  std::string raw;
  // Connects, retrying for a while: the program may be between two listens.
  explicit StreamClient(int port) : s(ConnectRetrying(port)) {
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
  }
  ~StreamClient() { closesocket(s); }
  // Reads what is there; returns the number of records so far.
  std::size_t Poll() {
    char buf[65536];
    for (int n; (n = recv(s, buf, sizeof buf, 0)) > 0;) {
      raw.append(buf, static_cast<std::size_t>(n));
      reader.Feed(std::string_view(buf, static_cast<std::size_t>(n)));
    }
    while (auto r = reader.Next()) records.push_back(std::move(*r));
    return records.size();
  }
  bool WaitRecords(std::size_t n, DWORD ms = 10000) {
    return PumpUntil([&] { return Poll() >= n; }, ms);
  }
};

// The sequence number of a record whose text has "SEQ nnnnnn" (the decoder
// simulator's "{seq}"), or -1.
inline int SequenceOf(const Record& r) {
  const auto at = r.Frame.find("SEQ ");
  return at == std::string::npos ? -1 : std::stoi(r.Frame.substr(at + 4, 6));
}

// A program of the build, run beside the test: `program` is its path in the
// build folder, such as L"tools\\decoder_sim.exe".
class ChildProcess {
 public:
  ChildProcess(const std::wstring& program, const std::wstring& arguments, const std::wstring& outputFile = L"") {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    dir = dir.substr(0, dir.find_last_of(L"\\/"));
    std::wstring command = L"\"" + dir + L"\\..\\" + program + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    HANDLE out = INVALID_HANDLE_VALUE;
    if (!outputFile.empty()) {
      SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
      out = CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
      si.dwFlags = STARTF_USESTDHANDLES;
      si.hStdOutput = out;
      si.hStdError = out;
      si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, out != INVALID_HANDLE_VALUE, 0, nullptr,
                              nullptr, &si, &pi_) != FALSE;
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  }
  ~ChildProcess() {
    if (!started_) return;
    if (WaitForSingleObject(pi_.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(pi_.hProcess, 99);
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }
  bool Started() const { return started_; }
  DWORD Id() const { return pi_.dwProcessId; }
  bool Running() const { return started_ && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }
  // Pumps the test's messages while waiting, since the child may be talking
  // DDE to the program in this process. Returns the exit code, or -1.
  long Wait(DWORD ms = 30000) {
    if (!PumpUntil([&] { return !Running(); }, ms)) return -1;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return static_cast<long>(code);
  }

 private:
  PROCESS_INFORMATION pi_{};
  bool started_ = false;
};

// The main window of the program running as process `pid`, waiting for it
// up to `ms`; null when it did not appear.
inline HWND MainWindowOf(DWORD pid, DWORD ms = 20000) {
  HWND window = nullptr;
  PumpUntil(
      [&] {
        for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, app::kMainWindowClass, nullptr)) != nullptr;) {
          DWORD owner = 0;
          GetWindowThreadProcessId(w, &owner);
          if (owner == pid) window = w;
        }
        return window != nullptr;
      },
      ms);
  return window;
}

// A named manual-reset event with a name unique to this test process.
struct NamedEvent {
  std::wstring name;
  HANDLE handle;
  explicit NamedEvent(const std::wstring& what)
      : name(L"BridgeTest-" + what + L"-" + std::to_wstring(GetCurrentProcessId())),
        handle(CreateEventW(nullptr, TRUE, FALSE, name.c_str())) {}
  ~NamedEvent() { CloseHandle(handle); }
  bool Wait(DWORD ms = 20000) {
    return PumpUntil([&] { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }, ms);
  }
  void Set() { SetEvent(handle); }
};

// The decoder simulator beside the test. `arguments` are its own; the
// fixture adds the events by which it says it is ready (its services are
// registered) and, with `waitForStart`, waits for the test's go.
class DecoderSimulator {
 public:
  explicit DecoderSimulator(const std::wstring& arguments, bool waitForStart = false)
      : ready_(L"ready" + std::to_wstring(++count_)),
        start_(L"start" + std::to_wstring(count_)),
        process_(L"tools\\decoder_sim.exe", arguments + L" --ready-event " + ready_.name +
                                                (waitForStart ? L" --start-event " + start_.name : L"")) {}
  // Waits until its services are there.
  bool Ready() { return process_.Started() && ready_.Wait(); }
  void Start() { start_.Set(); }
  long Wait(DWORD ms = 30000) { return process_.Wait(ms); }
  bool Running() const { return process_.Running(); }

 private:
  static inline int count_ = 0;
  NamedEvent ready_, start_;
  ChildProcess process_;
};
