#include "inputs/dde_link.h"

#include <dde.h>

#include <map>
#include <utility>

#include "inputs/advise_rescue.h"
#include "stats/stage_profile.h"

namespace {

HDDEDATA CALLBACK DdeCallback(UINT type, UINT format, HCONV conv, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR);

// The boxes of the open links, by conversation.
std::map<HCONV, DdeTextBox*>& Boxes() {
  static std::map<HCONV, DdeTextBox*> boxes;
  return boxes;
}

std::string DataText(HDDEDATA data) {
  const StageTimer timer(Stage::DdeData);
  if (!data) return {};
  const DWORD size = DdeGetData(data, nullptr, 0, 0);
  std::string text(size, '\0');
  if (size) DdeGetData(data, reinterpret_cast<LPBYTE>(text.data()), size, 0);
  // CF_TEXT ends at its first NUL.
  if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return text;
}

bool UnderWine() {
  static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

// What the callback answers for a text it took. Wine's DDE library keeps
// the memory of every hot-link message whose callback answers DDE_FACK (it
// leaves it to the server, which cannot free this process's copy): 514
// bytes for a text of 510, for good. Under Wine the answer is therefore
// "not processed", after which the library frees it; no acknowledgement
// goes to the server either way, since the links ask for none.
UINT_PTR AdviseAnswer() {
  return UnderWine() ? DDE_FNOTPROCESSED : DDE_FACK;
}

// A conversation with the service and topic of "application|topic".
HCONV Connect(DWORD instance, const std::string& linkTopic) {
  const auto bar = linkTopic.find('|');
  const DdeString service(instance, linkTopic.substr(0, bar));
  const DdeString topic(instance, linkTopic.substr(bar + 1));
  return DdeConnect(instance, service.get(), topic.get(), nullptr);
}

DdeLinkError LinkError(DWORD instance, UINT otherwise) {
  const UINT error = instance ? DdeGetLastError(instance) : 0;
  const UINT number = error ? error : otherwise;
  return DdeLinkError(static_cast<std::int32_t>(number), DdeErrorDescription(number));
}

HDDEDATA CALLBACK DdeCallback(UINT type, UINT format, HCONV conv, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
  // Nothing may unwind into the library; a failing handler only loses its
  // own message.
  try {
    auto& boxes = Boxes();
    const auto it = boxes.find(conv);
    if (type == XTYP_ADVDATA) {
      const StageTimer timer(Stage::DdeCallback);
      if (it == boxes.end()) return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
      it->second->OnAdvise(format == CF_TEXT ? data : nullptr);
      return reinterpret_cast<HDDEDATA>(AdviseAnswer());
    }
    if (type == XTYP_DISCONNECT && it != boxes.end()) {
      DdeTextBox* box = it->second;
      boxes.erase(it);
      box->OnDisconnect();
    }
  } catch (...) {
  }
  return nullptr;
}

}  // namespace

DdemlInstance::DdemlInstance(DWORD flags) {
  if (DdeInitializeA(&mId, &DdeCallback, APPCMD_CLIENTONLY | flags, 0) != DMLERR_NO_ERROR) mId = 0;
}

DdemlInstance::~DdemlInstance() {
  if (mId) DdeUninitialize(mId);
}

std::string DdeErrorDescription(UINT error) {
  switch (error) {
    case DMLERR_ADVACKTIMEOUT:
      return "The advise request timed out.";
    case DMLERR_BUSY:
      return "The DDE server is busy.";
    case DMLERR_DLL_NOT_INITIALIZED:
      return "DDE is not available.";
    case DMLERR_INVALIDPARAMETER:
      return "Invalid DDE link parameter.";
    case DMLERR_NO_CONV_ESTABLISHED:
      return "No DDE server answered for this application and topic.";
    case DMLERR_NOTPROCESSED:
      return "The DDE server refused the item.";
    case DMLERR_SERVER_DIED:
      return "The DDE server has ended.";
    case DMLERR_SYS_ERROR:
      return "DDE system error.";
    default:
      return "DDE link error.";
  }
}

DdeTextBox::DdeTextBox(Handlers handlers) : mHandlers(std::move(handlers)) {}

DdeTextBox::~DdeTextBox() {
  Close();
}

void DdeTextBox::OnDisconnect() {
  // The ended conversation stays in the library until the link's instance
  // goes, at the next open or close: not from inside its own callback.
  mConversation = nullptr;
  mLinkMode = 0;
  if (mHandlers.Disconnect) mHandlers.Disconnect();
}

bool DdeTextBox::PartnerAlive() const {
  if (!mConversation) return false;
  CONVINFO info{};
  info.cb = sizeof info;
  if (!DdeQueryConvInfo(mConversation, QID_SYNC, &info)) return false;
  return (info.wStatus & ST_CONNECTED) != 0 && IsWindow(info.hwndPartner);
}

bool DdeTextBox::MessagesWaiting() const {
  if (!mConversation) return false;
  CONVINFO info{};
  info.cb = sizeof info;
  if (!DdeQueryConvInfo(mConversation, QID_SYNC, &info) || !info.hwnd) return false;
  MSG msg;
  return PeekMessageW(&msg, info.hwnd, WM_DDE_FIRST, WM_DDE_LAST, PM_NOREMOVE) != FALSE;
}

void DdeTextBox::SetText(const std::string& text) {
  mText = text;
  if (mHandlers.Change) mHandlers.Change();
}

void DdeTextBox::OnAdvise(HDDEDATA data) {
  OnAdviseText(DataText(data));
}

void DdeTextBox::OnAdviseText(const std::string& text) {
  ++mAdvised;
  if (text.empty()) {
    if (mHandlers.Unreadable) mHandlers.Unreadable();
  } else {
    SetText(text);
  }
}

void DdeTextBox::SetLinkMode(int mode) {
  if (mode == 0) {
    Close();
    mLinkMode = 0;
    return;
  }
  Close();
  mLinkMode = 0;
  Open();
  mLinkMode = 1;
}

void DdeTextBox::Open() {
  const auto bar = mLinkTopic.find('|');
  if (bar == std::string::npos || mLinkItem.empty()) {
    throw DdeLinkError(DMLERR_INVALIDPARAMETER, DdeErrorDescription(DMLERR_INVALIDPARAMETER));
  }
  auto instance = std::make_unique<DdemlInstance>(0);
  const DWORD id = instance->get();
  if (!id) throw LinkError(0, DMLERR_DLL_NOT_INITIALIZED);
  const HCONV conv = Connect(id, mLinkTopic);
  if (!conv) throw LinkError(id, DMLERR_NO_CONV_ESTABLISHED);
  // From here on the instance ends the conversation if the link fails.
  Boxes()[conv] = this;
  // Wine's DDE library drops texts when other programs are linked to the
  // same decoder (see RescueDroppedAdvises).
  CONVINFO info{};
  info.cb = sizeof info;
  if (UnderWine() && DdeQueryConvInfo(conv, QID_SYNC, &info) && info.hwnd) RescueDroppedAdvises(info.hwnd, *this);
  const DdeString item(id, mLinkItem);
  DWORD result = 0;
  if (!DdeClientTransaction(nullptr, 0, conv, item.get(), CF_TEXT, XTYP_ADVSTART, kAdviseTimeoutMs, &result)) {
    const DdeLinkError error = LinkError(id, DMLERR_NOTPROCESSED);
    Boxes().erase(conv);
    DdeDisconnect(conv);
    throw error;
  }
  mInstance = std::move(instance);
  mConversation = conv;
}

void DdeTextBox::Close() {
  if (mConversation) {
    const HCONV conv = std::exchange(mConversation, nullptr);
    Boxes().erase(conv);
    DdeDisconnect(conv);
  }
  // Also frees a conversation the decoder ended.
  mInstance.reset();
}
