#include "inputs/decoder_probe.h"

#include <ddeml.h>

#include "inputs/dde_link.h"

namespace {

// Messages dispatched before the thread looks at its wake event again.
constexpr int kDispatchBatch = 64;

HDDEDATA CALLBACK ProbeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  return nullptr;
}

}  // namespace

DecoderProbe::Shared::Shared(HWND window, UINT message, std::string topic)
    : Window(window), Message(message), Topic(std::move(topic)), Wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

DecoderProbe::DecoderProbe(HWND window, UINT message, std::string topic)
    : mShared(std::make_shared<Shared>(window, message, std::move(topic))) {
  auto* reference = new std::shared_ptr<Shared>(mShared);
  mThread.reset(CreateThread(nullptr, 0, &DecoderProbe::ThreadMain, reference, 0, nullptr));
  if (!mThread) delete reference;
}

DecoderProbe::~DecoderProbe() {
  Stop();
}

bool DecoderProbe::Stop() {
  {
    const std::lock_guard lock(mShared->Mutex);
    mShared->Stop = true;
  }
  SetEvent(mShared->Wake.get());
  if (!mThread) return true;
  // The probe may be waiting for this thread's windows to answer its
  // broadcast: they answer while this thread waits for it to end, for
  // kStopWaitMs at most.
  HANDLE thread = mThread.get();
  const ULONGLONG end = GetTickCount64() + kStopWaitMs;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < end ? static_cast<DWORD>(end - now) : 0;
    const DWORD woke = MsgWaitForMultipleObjects(1, &thread, FALSE, left, QS_SENDMESSAGE);
    if (woke == WAIT_OBJECT_0) {
      mThread.reset();
      return true;
    }
    // Timed out, or the wait failed: given up, never spun on.
    if (woke != WAIT_OBJECT_0 + 1 || left == 0) break;
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  mThread.reset();  // abandoned: it ends by itself
  return false;
}

void DecoderProbe::Look(std::vector<std::pair<std::size_t, std::string>> services) {
  {
    const std::lock_guard lock(mShared->Mutex);
    mShared->Wanted = std::move(services);
  }
  SetEvent(mShared->Wake.get());
}

DWORD WINAPI DecoderProbe::ThreadMain(void* reference) {
  const std::unique_ptr<std::shared_ptr<Shared>> shared(static_cast<std::shared_ptr<Shared>*>(reference));
  Run(**shared);
  return 0;
}

void DecoderProbe::Run(Shared& shared) {
  DWORD instance = 0;
  if (DdeInitializeW(&instance, &ProbeCallback, APPCMD_CLIENTONLY | CBF_SKIP_ALLNOTIFICATIONS, 0) != DMLERR_NO_ERROR) {
    return;
  }
  {
    const DdeString topic(instance, shared.Topic);
    Serve(shared, instance, topic.get());
  }
  DdeUninitialize(instance);
}

void DecoderProbe::Serve(Shared& shared, DWORD instance, HSZ topic) {
  HANDLE wake = shared.Wake.get();
  for (;;) {
    // The library's windows on this thread get their messages while it
    // waits, a batch at a time: messages that never stop coming must not
    // keep it from its wake event. Messages left over wake it again.
    const DWORD woke = MsgWaitForMultipleObjectsEx(1, &wake, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0 + 1) {
      MSG msg;
      for (int n = 0; n < kDispatchBatch && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) DispatchMessageW(&msg);
      continue;
    }
    if (woke != WAIT_OBJECT_0) return;  // a wait that fails would fail again at once
    std::vector<std::pair<std::size_t, std::string>> wanted;
    {
      const std::lock_guard lock(shared.Mutex);
      if (shared.Stop) return;
      wanted = std::exchange(shared.Wanted, {});
    }
    for (const auto& [index, name] : wanted) {
      const DdeString service(instance, name);
      if (HCONV conversation = DdeConnect(instance, service.get(), topic, nullptr)) {
        DdeDisconnect(conversation);
        const std::lock_guard lock(shared.Mutex);
        if (shared.Stop) return;
        PostMessageW(shared.Window, shared.Message, index, 0);
      }
    }
  }
}
