#include "decoder_probe.h"

#include <ddeml.h>

#include "dde_link.h"

namespace {

HDDEDATA CALLBACK ProbeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  return nullptr;
}

}  // namespace

DecoderProbe::DecoderProbe(HWND window, UINT message, std::string topic)
    : mWindow(window),
      mMessage(message),
      mTopic(std::move(topic)),
      mWake(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      mThread(CreateThread(nullptr, 0, &DecoderProbe::ThreadMain, this, 0, nullptr)) {}

DecoderProbe::~DecoderProbe() {
  {
    const std::lock_guard lock(mMutex);
    mStop = true;
  }
  SetEvent(mWake.get());
  if (!mThread) return;
  // The probe may be waiting for this thread's windows to answer its
  // broadcast: they answer while this thread waits for it to end.
  HANDLE thread = mThread.get();
  while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

void DecoderProbe::Look(std::vector<std::pair<std::size_t, std::string>> services) {
  {
    const std::lock_guard lock(mMutex);
    mWanted = std::move(services);
  }
  SetEvent(mWake.get());
}

DWORD WINAPI DecoderProbe::ThreadMain(void* self) {
  static_cast<DecoderProbe*>(self)->Run();
  return 0;
}

std::vector<std::pair<std::size_t, std::string>> DecoderProbe::Next() {
  const std::lock_guard lock(mMutex);
  if (mStop) return {};
  return std::exchange(mWanted, {});
}

void DecoderProbe::Run() {
  DWORD instance = 0;
  if (DdeInitializeW(&instance, &ProbeCallback, APPCMD_CLIENTONLY | CBF_SKIP_ALLNOTIFICATIONS, 0) != DMLERR_NO_ERROR) {
    return;
  }
  {
    const DdeString topic(instance, mTopic);
    Serve(instance, topic.get());
  }
  DdeUninitialize(instance);
}

void DecoderProbe::Serve(DWORD instance, HSZ topic) {
  HANDLE wake = mWake.get();
  for (;;) {
    // The library's windows on this thread get their messages while it waits.
    if (MsgWaitForMultipleObjects(1, &wake, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      continue;
    }
    {
      const std::lock_guard lock(mMutex);
      if (mStop) break;
    }
    for (const auto& [index, name] : Next()) {
      const DdeString service(instance, name);
      if (HCONV conversation = DdeConnect(instance, service.get(), topic, nullptr)) {
        DdeDisconnect(conversation);
        PostMessageW(mWindow, mMessage, index, 0);
      }
    }
  }
}
