#pragma once
// DecoderProbe: looks for decoders that are not linked, from a thread of its
// own. Finding a DDE server sends a message to every top-level window and
// waits for each answer, tens of milliseconds under Wine; on the window's
// thread that would hold up the forwarding every few seconds while a
// decoder is not running. The probe only connects and disconnects at once;
// the window links a decoder that answered.

#include <windows.h>

#include <ddeml.h>

#include <cstddef>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "win32_handles.h"

class DecoderProbe {
 public:
  // `window` is posted `message` with the index of each service that
  // answered on `topic`.
  DecoderProbe(HWND window, UINT message, std::string topic);
  ~DecoderProbe();
  DecoderProbe(const DecoderProbe&) = delete;
  DecoderProbe& operator=(const DecoderProbe&) = delete;

  // Looks once for each (index, service); a look still going on takes the
  // new list when it is done.
  void Look(std::vector<std::pair<std::size_t, std::string>> services);

 private:
  static DWORD WINAPI ThreadMain(void* self);
  void Run();
  // Looks whenever asked, until told to stop.
  void Serve(DWORD instance, HSZ topic);
  std::vector<std::pair<std::size_t, std::string>> Next();

  HWND mWindow;
  UINT mMessage;
  std::string mTopic;
  std::mutex mMutex;  // guards mWanted and mStop
  std::vector<std::pair<std::size_t, std::string>> mWanted;
  bool mStop = false;
  UniqueKernelHandle mWake;
  UniqueKernelHandle mThread;
};
