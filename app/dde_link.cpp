#include "dde_link.h"

#include <map>
#include <utility>

#include "stage_profile.h"

namespace {

HDDEDATA CALLBACK DdeCallback(UINT type, UINT format, HCONV conv, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR);

// The process's DDEML client instance and the boxes of its conversations.
class DdemlClient {
 public:
  static DdemlClient& Get() {
    static DdemlClient client;
    return client;
  }
  DWORD Instance() const { return mInstance; }
  std::map<HCONV, DdeTextBox*>& Boxes() { return mBoxes; }

 private:
  DdemlClient() {
    if (DdeInitializeA(&mInstance, &DdeCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) mInstance = 0;
  }
  ~DdemlClient() {
    if (mInstance) DdeUninitialize(mInstance);
  }
  DWORD mInstance = 0;
  std::map<HCONV, DdeTextBox*> mBoxes;
};

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

// What the callback answers for a text it took. Wine's DDE library keeps
// the memory of every hot-link message whose callback answers DDE_FACK (it
// leaves it to the server, which cannot free this process's copy): 514
// bytes for a text of 510, for good. Under Wine the answer is therefore
// "not processed", after which the library frees it; no acknowledgement
// goes to the server either way, since the links ask for none.
UINT_PTR AdviseAnswer() {
  static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine ? DDE_FNOTPROCESSED : DDE_FACK;
}

HDDEDATA CALLBACK DdeCallback(UINT type, UINT format, HCONV conv, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
  // Nothing may unwind into the library; a failing handler only loses its
  // own message.
  try {
    auto& boxes = DdemlClient::Get().Boxes();
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

void DdeTextBox::OnDisconnect() {
  mConversation = nullptr;
  mLinkMode = 0;
  if (mHandlers.Disconnect) mHandlers.Disconnect();
}

void DdeTextBox::OnAdvise(HDDEDATA data) {
  const std::string text = DataText(data);
  if (text.empty()) {
    if (mHandlers.Unreadable) mHandlers.Unreadable();
  } else {
    SetText(text);
  }
}

bool DdeTextBox::PartnerAlive() const {
  if (!mConversation) return false;
  CONVINFO info{};
  info.cb = sizeof info;
  if (!DdeQueryConvInfo(mConversation, QID_SYNC, &info)) return false;
  return (info.wStatus & ST_CONNECTED) != 0 && IsWindow(info.hwndPartner);
}

DdeTextBox::~DdeTextBox() {
  Close();
}

void DdeTextBox::SetText(const std::string& text) {
  mText = text;
  if (mHandlers.Change) mHandlers.Change();
}

void DdeTextBox::SetLinkMode(int mode) {
  if (mode == 0) {
    Close();
    mLinkMode = 0;
    return;
  }
  if (mLinkMode == 1) Close();
  mLinkMode = 0;
  Open();
  mLinkMode = 1;
}

void DdeTextBox::Open() {
  const DWORD instance = DdemlClient::Get().Instance();
  if (!instance) throw DdeLinkError(DMLERR_DLL_NOT_INITIALIZED, DdeErrorDescription(DMLERR_DLL_NOT_INITIALIZED));
  const auto bar = mLinkTopic.find('|');
  if (bar == std::string::npos || mLinkItem.empty()) {
    throw DdeLinkError(DMLERR_INVALIDPARAMETER, DdeErrorDescription(DMLERR_INVALIDPARAMETER));
  }
  const DdeString service(instance, mLinkTopic.substr(0, bar));
  const DdeString topic(instance, mLinkTopic.substr(bar + 1));
  const DdeString item(instance, mLinkItem);

  HCONV conv = DdeConnect(instance, service.get(), topic.get(), nullptr);
  if (!conv) {
    const UINT error = DdeGetLastError(instance);
    const UINT number = error ? error : DMLERR_NO_CONV_ESTABLISHED;
    throw DdeLinkError(static_cast<std::int32_t>(number), DdeErrorDescription(number));
  }
  DdemlClient::Get().Boxes()[conv] = this;
  DWORD result = 0;
  if (!DdeClientTransaction(nullptr, 0, conv, item.get(), CF_TEXT, XTYP_ADVSTART, kAdviseTimeoutMs, &result)) {
    const UINT error = DdeGetLastError(instance);
    DdemlClient::Get().Boxes().erase(conv);
    DdeDisconnect(conv);
    const UINT number = error ? error : DMLERR_NOTPROCESSED;
    throw DdeLinkError(static_cast<std::int32_t>(number), DdeErrorDescription(number));
  }
  mConversation = conv;
}

void DdeTextBox::Close() {
  if (!mConversation) return;
  const HCONV conv = std::exchange(mConversation, nullptr);
  DdemlClient::Get().Boxes().erase(conv);
  DdeDisconnect(conv);
}
