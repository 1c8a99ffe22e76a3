// The decoder probe: it looks for decoders from a thread of its own and
// never holds up the window's thread, not even when a window of the desktop
// hangs in the middle of its broadcast.

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "inputs/decoder_probe.h"
#include "support/message_pump.h"
#include "support/program_fixture.h"
#include "win32/win32_handles.h"

namespace {

constexpr UINT kAnswered = WM_APP + 7;

// A top-level window whose thread stops answering until it is let go.
class HungWindow {
 public:
  HungWindow() {
    mThread = std::thread([this] {
      HWND window = CreateWindowExW(0, L"STATIC", L"hung", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
      mCreated = true;
      WaitForSingleObject(mRelease.get(), INFINITE);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      DestroyWindow(window);
    });
    while (!mCreated) Sleep(1);
  }
  ~HungWindow() {
    SetEvent(mRelease.get());
    mThread.join();
  }

 private:
  UniqueKernelHandle mRelease{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<bool> mCreated{false};
  std::thread mThread;
};

}  // namespace

TEST(DecoderProbe, FindsARunningDecoderAndPostsItsIndex) {
  DecoderSimulator sim(L"--services ANAD --count 1 --wait-links 1 --wait-timeout 5000 --quiet");
  ASSERT_TRUE(sim.Ready());
  const UniqueWindow window(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
  DecoderProbe probe(window.get(), kAnswered, "ACARS");
  probe.Look({{2, "ANAD"}, {0, "SkySpy"}});
  std::vector<WPARAM> answered;
  const ULONGLONG end = GetTickCount64() + 3000;
  while (GetTickCount64() < end) {
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
  EXPECT_EQ(answered, std::vector<WPARAM>{2}) << "ANAD answered once; SkySpy does not run";
  EXPECT_TRUE(probe.Stop());
}

TEST(DecoderProbe, AProbeStuckOnAHungWindowIsAbandonedWithinItsLimit) {
  HungWindow hung;
  auto probe = std::make_unique<DecoderProbe>(nullptr, kAnswered, "ACARS");
  probe->Look({{0, "SkySpy"}});
  Sleep(300);  // the look is now waiting for the hung window's answer
  EXPECT_FALSE(probe->Stop()) << "stopping gives up on a probe stuck in a broadcast";
  probe.reset();
  // The hung window answers after all; the abandoned probe ends by itself,
  // without a probe to reach into.
}
