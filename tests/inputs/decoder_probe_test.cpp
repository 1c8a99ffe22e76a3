// The decoder probe: it looks for decoders from a thread of its own and
// never holds up the window's thread, not even when a window of the desktop
// hangs in the middle of its broadcast.

#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "inputs/decoder_probe.h"
#include "support/message_pump.h"
#include "support/program_fixture.h"
#include "win32/win32_handles.h"

namespace {

constexpr UINT kAnswered = WM_APP + 7;

// A top-level window whose thread stops answering until it is let go; it
// notes when a message is sent to it meanwhile (a broadcast now waits for it).
class HungWindow {
 public:
  HungWindow() {
    mThread = std::thread([this] {
      HWND window = CreateWindowExW(0, L"STATIC", L"hung", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
      mCreated = true;
      HANDLE release = mRelease.get();
      if (MsgWaitForMultipleObjects(1, &release, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        mAsked = true;  // left unanswered until let go
        WaitForSingleObject(release, INFINITE);
      }
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      DestroyWindow(window);
    });
    while (!mCreated) Sleep(1);  // until the window is there
  }
  // Waits until a message is sent to the window.
  bool WaitAsked(DWORD ms = 10000) {
    const ULONGLONG deadline = GetTickCount64() + ms;
    while (!mAsked && GetTickCount64() < deadline) Sleep(5);  // looks again, until the limit
    return mAsked;
  }
  ~HungWindow() {
    SetEvent(mRelease.get());
    mThread.join();
  }

 private:
  UniqueKernelHandle mRelease{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<bool> mCreated{false}, mAsked{false};
  std::thread mThread;
};

// The ids of this process's threads.
std::set<DWORD> OwnThreads() {
  std::set<DWORD> ids;
  const UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
  }
  return ids;
}

}  // namespace

TEST(DecoderProbe, FindsARunningDecoderAndPostsItsIndex) {
  DecoderSimulator sim(L"--services ANAD --count 1 --wait-links 1 --wait-timeout 5000 --quiet");
  ASSERT_TRUE(sim.Ready());
  const UniqueWindow window(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
  DecoderProbe probe(window.get(), kAnswered, "ACARS");
  probe.Look({{2, "ANAD"}, {0, "SkySpy"}});
  std::vector<WPARAM> answered;
  // Collects the answers, dispatching everything else, until `done` holds or
  // `ms` have passed.
  const auto collect = [&](auto done, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (!done() && GetTickCount64() < end) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == kAnswered) {
          answered.push_back(msg.wParam);
        } else {
          DispatchMessageW(&msg);
        }
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
  };
  collect([&] { return !answered.empty(); }, 10000);
  collect([] { return false; }, 1000);  // a while in which a second answer would come, were there one
  EXPECT_EQ(answered, std::vector<WPARAM>{2}) << "ANAD answered once; SkySpy does not run";
  EXPECT_TRUE(probe.Stop());
}

TEST(DecoderProbe, AProbeStuckOnAHungWindowIsAbandonedWithinItsLimit) {
  HungWindow hung;
  auto probe = std::make_unique<DecoderProbe>(nullptr, kAnswered, "ACARS");
  probe->Look({{0, "SkySpy"}});
  ASSERT_TRUE(hung.WaitAsked()) << "the look waits for the hung window's answer";
  EXPECT_FALSE(probe->Stop()) << "stopping gives up on a probe stuck in a broadcast";
  probe.reset();
  // The hung window answers after all; the abandoned probe ends by itself,
  // without a probe to reach into.
}

// Messages that never stop coming to the probe's thread do not keep it from
// ending when told.
TEST(DecoderProbe, StopsWhileMessagesPourIn) {
  const std::set<DWORD> before = OwnThreads();
  DecoderProbe probe(nullptr, kAnswered, "ACARS");
  DWORD probeThread = 0;
  ASSERT_TRUE(WaitWithoutPumping([&] {
    for (const DWORD id : OwnThreads()) {
      if (!before.contains(id)) probeThread = id;
    }
    return probeThread != 0;
  }));
  std::atomic<bool> stop{false};
  std::atomic<long> posted{0};
  std::vector<std::thread> posters;
  for (int i = 0; i < 3; ++i) {
    posters.emplace_back([&] {
      while (!stop) {
        if (PostThreadMessageW(probeThread, WM_NULL, 0, 0)) ++posted;
      }
    });
  }
  ASSERT_TRUE(WaitWithoutPumping([&] { return posted > 20000; }));
  EXPECT_TRUE(probe.Stop()) << "the probe ended, not abandoned";
  stop = true;
  for (auto& poster : posters) poster.join();
}
