#pragma once
// DecoderProbe: looks for decoders that are not linked, from a thread of its
// own. Finding a DDE server sends a message to every top-level window and
// waits for each answer, tens of milliseconds under Wine; on the window's
// thread that would hold up the forwarding every few seconds while a
// decoder is not running. The probe only connects and disconnects at once;
// the window links a decoder that answered. Stopping waits a bounded time:
// a probe stuck in a broadcast to a window that hangs is abandoned, and
// ends by itself with the state it shares with this object.

#include <windows.h>

#include <ddeml.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "win32/win32_handles.h"

class DecoderProbe {
 public:
  // How long stopping waits for the thread.
  static constexpr DWORD kStopWaitMs = 2000;

  // `window` is posted `message` with the index of each service that
  // answered on `topic`.
  DecoderProbe(HWND window, UINT message, std::string topic);
  ~DecoderProbe();
  DecoderProbe(const DecoderProbe&) = delete;
  DecoderProbe& operator=(const DecoderProbe&) = delete;

  // Looks once for each (index, service); a look still going on takes the
  // new list when it is done.
  void Look(std::vector<std::pair<std::size_t, std::string>> services);
  // Tells the thread to stop and waits kStopWaitMs at most; returns whether
  // it ended (false: it is abandoned, and ends by itself). The destructor
  // stops it too.
  bool Stop();

 private:
  // What the thread uses: it holds a reference of its own, so that an
  // abandoned thread never reaches into a probe that is gone.
  struct Shared {
    Shared(HWND window, UINT message, std::string topic);
    HWND Window;
    UINT Message;
    std::string Topic;
    UniqueKernelHandle Wake;
    std::mutex Mutex;  // guards Wanted and Stop
    std::vector<std::pair<std::size_t, std::string>> Wanted;
    bool Stop = false;
  };
  static DWORD WINAPI ThreadMain(void* shared);
  static void Run(Shared& shared);
  // Looks whenever asked, until told to stop.
  static void Serve(Shared& shared, DWORD instance, HSZ topic);

  std::shared_ptr<Shared> mShared;
  UniqueKernelHandle mThread;
};
