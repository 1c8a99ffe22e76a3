#pragma once
// Reporter: how a component tells the user of a condition. Each condition
// has its own key (its kind and, for the decoders, the input it is about):
// the condition stands until it is cleared by the same key, so that one
// source's recovery never clears another source's report. No platform
// header.

#include <compare>
#include <cstddef>
#include <string>

struct ReportKey {
  enum class Kind {
    Event,       // a one-off fault: it stands until a newer report replaces it
    Relisten,    // the client port could not listen again
    Silence,     // a linked decoder has said nothing for too long (per input)
    TextsEmpty,  // a decoder's texts arrive empty (per input)
    DebugLog,    // the debug log cannot be written
    Capture,     // the capture cannot be written, or works again
    StatusPage,  // the status page cannot listen
  };
  Kind What = Kind::Event;
  std::size_t Input = 0;

  auto operator<=>(const ReportKey&) const = default;
};

class Reporter {
 public:
  // The condition of `key` stands, described by `text`. With a `balloon`
  // title it is also shown by the tray icon.
  virtual void Report(ReportKey key, const std::string& text, const char* balloon = nullptr) = 0;
  // The condition of `key` has ended.
  virtual void Cleared(ReportKey key) = 0;

 protected:
  ~Reporter() = default;
};
