#pragma once
// DdeTextBox: the hidden input box of one decoder source. It holds a DDE
// client link (topic "application|topic", item, mode 0 none / 1 automatic)
// through the DDE management library; in automatic mode every value the
// decoder advises replaces the box's whole text and raises one change. When
// the decoder ends the conversation, the box raises its disconnect. A value
// that arrives empty or not as text raises its trouble instead: under Wine a
// decoder that has posted 65,535 values can post no more, and every later
// value of its links arrives empty: the decoder must be restarted. The links
// are hot (each notice brings its value), as the decoders expect.
//
// Each link has a DDEML instance of its own: Wine keeps a conversation that
// the decoder ended in its instance for good (it cannot be disconnected),
// and refuses any later connect to the same decoder from that instance. The
// instance goes with the link, so that a decoder that was closed and started
// again is linked again.
// GUI thread only: DDEML calls back on the thread that initialised it, and
// the change handler runs inside that callback.

#include <windows.h>

#include <ddeml.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

// A link that could not be opened: DDEML's error number and a short text.
class DdeLinkError : public std::runtime_error {
 public:
  DdeLinkError(std::int32_t number, const std::string& description) : std::runtime_error(description), Number(number) {}
  std::int32_t Number;
};

// A DDEML string handle, freed with its owner.
class DdeString {
 public:
  DdeString(DWORD instance, const std::string& text)
      : mInstance(instance), mHandle(DdeCreateStringHandleA(instance, text.c_str(), CP_WINANSI)) {}
  ~DdeString() {
    if (mHandle) DdeFreeStringHandle(mInstance, mHandle);
  }
  DdeString(const DdeString&) = delete;
  DdeString& operator=(const DdeString&) = delete;
  HSZ get() const { return mHandle; }

 private:
  DWORD mInstance;
  HSZ mHandle;
};

// A DDEML client instance of this thread, uninitialised with its owner.
class DdemlInstance {
 public:
  explicit DdemlInstance(DWORD flags);
  ~DdemlInstance();
  DdemlInstance(const DdemlInstance&) = delete;
  DdemlInstance& operator=(const DdemlInstance&) = delete;
  // 0 when the library could not be initialised.
  DWORD get() const { return mId; }

 private:
  DWORD mId = 0;
};

class DdeTextBox {
 public:
  // How long opening a link waits for the decoder to start the advise loop.
  static constexpr DWORD kAdviseTimeoutMs = 2000;

  struct Handlers {
    std::function<void()> Change;
    std::function<void()> Disconnect;
    std::function<void()> Unreadable;  // a value arrived empty, or not as text
  };
  explicit DdeTextBox(Handlers handlers);
  ~DdeTextBox();
  DdeTextBox(const DdeTextBox&) = delete;
  DdeTextBox& operator=(const DdeTextBox&) = delete;

  void SetLinkTopic(const std::string& topic) { mLinkTopic = topic; }
  const std::string& LinkTopic() const { return mLinkTopic; }
  void SetLinkItem(const std::string& item) { mLinkItem = item; }
  const std::string& LinkItem() const { return mLinkItem; }
  // 1 opens the conversation and its advise loop (raises DdeLinkError and
  // stays at 0 when that fails); 0 ends it.
  void SetLinkMode(int mode);
  int LinkMode() const { return mLinkMode; }
  // Whether the decoder is still there (it may have ended while linked).
  bool Connected() const { return mConversation != nullptr; }
  // Whether the decoder's side of the conversation still exists: a decoder
  // that was killed ends no conversation, its window is simply gone.
  bool PartnerAlive() const;
  // Whether messages of the conversation wait in this thread's queue.
  bool MessagesWaiting() const;

  const std::string& Text() const { return mText; }
  // Replaces the text and raises the change, as an advised value does.
  void SetText(const std::string& text);

  // Called by the DDEML callback with an advised value (nullptr: none, or
  // not as text).
  void OnAdvise(HDDEDATA data);
  // The same with the value's text ("" for none, or not as text).
  void OnAdviseText(const std::string& text);
  // Values advised so far.
  std::uint64_t Advised() const { return mAdvised; }
  void OnDisconnect();

 private:
  void Open();
  void Close();

  Handlers mHandlers;
  std::string mLinkTopic;
  std::string mLinkItem;
  int mLinkMode = 0;
  std::unique_ptr<DdemlInstance> mInstance;  // the link's own
  HCONV mConversation = nullptr;
  std::string mText;
  std::uint64_t mAdvised = 0;
};

// DDEML's texts for its error numbers.
std::string DdeErrorDescription(UINT error);
