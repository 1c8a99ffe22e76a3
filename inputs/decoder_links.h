#pragma once
// DecoderLinks: the DDE links to the four decoder programs, one router input
// each. Every link is one row of the table below and one text box; the logic
// (opening a link and logging the result, a link ended by hand, re-linking
// a decoder that runs again, the watch for a partner that vanished, the
// probe that looks for missing decoders, the silence watchdog, texts that
// arrive empty) is written once for all four. What the user should see goes
// to the observer and the reporter. GUI thread only.

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "common/debug_logger.h"
#include "common/reporter.h"
#include "inputs/dde_link.h"
#include "inputs/decoder_probe.h"
#include "inputs/silence_watchdog.h"
#include "pipeline/decoder_source.h"
#include "router/message_router.h"
#include "stats/statistics.h"

// One decoder program and the names the program gives its link.
struct DecoderLinkInfo {
  const char* Box;          // the input box, whose name tags its texts in the log
  const char* Application;  // the decoder's DDE service
  const char* Label;        // the log's label for the link's state
  const char* InputName;    // the router input's name, as the statistics show it
  DecoderSource Source;
};

class DecoderLinks {
 public:
  static constexpr std::size_t kCount = 4;
  // The links by the names of their input boxes, in the table's order.
  enum Index : std::size_t { SkySpyIn, AM2000In, AirNavIn, PosfixIn };
  // In the order of the Source menu.
  static constexpr std::array<DecoderLinkInfo, kCount> kTable{{
      {"SkySpyIn", "SkySpy", "SkySpy:", "SkySpy", DecoderSource::SkySpy},
      {"AM2000In", "WinACARS", "AM2000", "Airmaster", DecoderSource::Airmaster},
      {"AirNavIn", "ANAD", "AirNav", "AirNav", DecoderSource::AirNavPosfix},
      {"PosfixIn", "POSFIX", "ZADEDEV", "Posfix", DecoderSource::AirNavPosfix},
  }};
  // The topic and item every decoder publishes its texts under.
  static constexpr const char* kTopic = "ACARS";
  static constexpr const char* kItem = "LiveData";

  class Events {
   public:
    // A link came up or went down: the Source menu's check mark.
    virtual void LinkChanged(std::size_t link, bool linked) = 0;

   protected:
    ~Events() = default;
  };

  // Adds the four router inputs, in the table's order.
  DecoderLinks(MessageRouter& router, DebugLogger& log, Reporter& reporter, std::int32_t silenceMinutes);
  DecoderLinks(const DecoderLinks&) = delete;
  DecoderLinks& operator=(const DecoderLinks&) = delete;

  // Opens every link, in the order the program always has (SkySpy,
  // Airmaster, Posfix, AirNav). The probe posts `answered` to `window` with
  // the index of a decoder it found.
  void Start(Events& events, HWND window, UINT answered);
  // The Source menu's item of `link`: unlinks by hand a link that is up (it
  // stays so until clicked again), or tries to link it.
  void Toggle(std::size_t link);
  // Links again every decoder that is not linked (unless unlinked by hand)
  // and that the probe has found running.
  void tmr_relink_Timer();
  // Notices linked decoders that are gone.
  void tmr_linkwatch_Timer();
  // The probe found the decoder of `link`.
  void DecoderAnswered(std::size_t link);
  // Reports every linked decoder silent for longer than the limit at `now`
  // (Unix seconds).
  void CheckSilence(double now);
  // A new limit for the silence report; 0: never.
  void SetSilenceMinutes(std::int32_t minutes);
  // Ends the four conversations: no decoder text arrives afterwards.
  void Close();

  bool Linked(std::size_t link) const { return mLinks.at(link)->Linked; }
  std::size_t RouterInput(std::size_t link) const { return mLinks.at(link)->Input; }
  DdeTextBox& Box(std::size_t link) { return mLinks.at(link)->Box; }
  // The four sources' rows of the statistics.
  void AddRows(Statistics& statistics, double now) const;

 private:
  struct Link {
    Link(const DecoderLinkInfo& info, std::size_t input, DdeTextBox::Handlers handlers)
        : Info(info), Input(input), Box(std::move(handlers)) {}
    const DecoderLinkInfo& Info;
    std::size_t Input;
    DdeTextBox Box;
    bool Linked = false;
    bool UnlinkedByHand = false;
    bool EmptyReported = false;  // since the link was opened
  };

  // Opens the link; DDEML's error number (0 when linked) and text.
  std::pair<std::int32_t, std::string> Open(std::size_t link);
  void SetLinked(std::size_t link, bool linked);
  bool WaitingForDecoder(const Link& link) const { return !link.UnlinkedByHand && !link.Box.Connected(); }
  // A text arrived: handed to the router.
  void Changed(std::size_t link);
  // The decoder ended the conversation, or was found gone.
  void Gone(std::size_t link);
  // A text arrived empty or unreadable: counted, and reported once a link.
  void TextsEmpty(std::size_t link);

  MessageRouter& mRouter;
  DebugLogger& mLog;
  Reporter& mReporter;
  Events* mEvents = nullptr;
  std::int32_t mSilenceMinutes;
  SilenceWatchdog mWatchdog;
  std::array<std::unique_ptr<Link>, kCount> mLinks;
  HWND mWindow = nullptr;
  UINT mAnswered = 0;
  std::unique_ptr<DecoderProbe> mProbe;  // looks for decoders that are not linked
  bool mClosed = false;
};
