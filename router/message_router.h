#pragma once
// MessageRouter: the forwarding of every message from the program's inputs
// (the decoder sources) to its outputs (the client port, later more). Inputs
// hand it decoder texts; it prepares each one once (normalise, parse, frame
// text, record bytes), applies the filters, offers the result to every
// output and tells its observer what the window should show.
// Single-threaded. Each text is prepared and taken by the outputs when it
// arrives; the outputs send once per pass of the message loop: the router
// asks the program for a flush when the first record of a pass is kept, and
// the program calls Flush when its loop comes to that request, after every
// text that was waiting by then. A text that arrives during a send queues
// and goes out after it, each record whole and in order. No platform
// header: the router builds and is tested natively.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pipeline/decoder_source.h"
#include "pipeline/forwarding.h"
#include "router/duplicate_filter.h"
#include "stats/minute_counts.h"

// One message, prepared once and offered to every output.
struct PreparedMessage {
  const ForwardedMessage& Forwarded;  // normalised text, message, frame text, header
  std::string_view Record;            // header and frame text, as they go on the wire
  double ArrivedAt;                   // when the input received the text: Unix seconds
  std::size_t Input;                  // the router's index of the input
  std::int32_t Channel;               // the decoder's channel in JSON (0 to 3), or -1
  bool FromJson;                      // it came from a JSON feed
  std::uint64_t Sequence;             // counts the messages the router prepared
};

// One destination of the messages. It owns its backlog limit and its drop
// counter, so a slow output never holds up another.
class MessageOutput {
 public:
  enum class Delivery {
    Kept,       // queued for sending
    Dropped,    // its backlog is full: the whole message is lost and counted
    NotWanted,  // nobody to send it to at the moment (no client connected)
  };
  virtual ~MessageOutput() = default;
  // Takes the message or not; never sends from here.
  virtual Delivery Take(const PreparedMessage& message) = 0;
  // Hands what was kept since the last flush to the transport.
  virtual void Flush() = 0;
  // Messages dropped so far.
  virtual std::uint64_t Dropped() const = 0;
  // Why this output drops messages, for the log: "client not reading".
  virtual std::string DropReason() const = 0;
};

// What the router tells the program around it, and the two services it
// needs from it. Called on the router's thread, from inside Submit and Flush.
class RouterEvents {
 public:
  // The latest message, for the window: its normalised text (shown even when
  // no output took it) and the registration and flight of the latest one an
  // output took. Either may be absent.
  struct Latest {
    std::optional<std::string> Display;
    std::optional<std::pair<std::string, std::string>> Panels;
  };
  virtual void ShowLatest(const Latest& latest) = 0;
  // An output dropped messages: one it refused, or ones it had taken and
  // lost (its reader went); `totalDropped` counts every output's drops.
  virtual void MessageDropped(const MessageOutput& output, std::uint64_t totalDropped) = 0;
  virtual bool LogEnabled() = 0;
  virtual void Log(const std::string& description, const std::string& message) = 0;
  // Something a step raised; the router goes on with the next step.
  virtual void ReportError(const char* where, std::exception_ptr error) = 0;
  // Records wait in the outputs: call Flush once the texts that are waiting
  // in the message loop now have been handed in. Asked once per flush;
  // false when the program cannot promise it, and the router flushes at once.
  virtual bool RequestFlush() = 0;
  // A monotonic clock in milliseconds, for the display's pace.
  virtual std::uint64_t NowMs() = 0;

 protected:
  ~RouterEvents() = default;
};

// Sees every decoder text and JSON object exactly as an input received it,
// before the router does anything with it: the capture. Called on the
// router's thread; it must return at once.
class ArrivalTap {
 public:
  virtual void TextArrived(const std::string& input, std::string_view text) = 0;
  virtual void ObjectArrived(const std::string& input, std::string_view object) = 0;

 protected:
  ~ArrivalTap() = default;
};

class MessageRouter {
 public:
  // Redrawing the display for every message of a burst would cost more than
  // the forwarding itself: during a burst the window gets the latest message
  // a few times a second, and always the last one at its end.
  static constexpr std::uint64_t kShowIntervalMs = 100;
  // The most record bytes kept before the outputs are flushed without
  // waiting for the loop: a flood goes out in pieces of this size.
  static constexpr std::size_t kBatchBytes = 64 * 1024;

  // What the router counts for each input.
  struct InputCounters {
    std::uint64_t Received = 0;           // texts handed in
    std::uint64_t Forwarded = 0;          // taken by at least one output
    std::uint64_t Filtered = 0;           // too short, or the HF rule
    std::uint64_t Dropped = 0;            // drops by any output
    std::uint64_t Skipped = 0;            // JSON objects that were no whole ACARS message
    std::uint64_t NotRead = 0;            // texts the link lost: empty, not text, or replaced before read
    std::uint64_t Duplicates = 0;         // equal to a message forwarded within the duplicate window
    std::optional<double> LastMessageAt;  // Unix seconds
    MinuteCounts PerMinute;               // texts received in each of the last 60 minutes
  };

  explicit MessageRouter(RouterEvents& events) : mEvents(events) {}
  MessageRouter(const MessageRouter&) = delete;
  MessageRouter& operator=(const MessageRouter&) = delete;

  // Registers an input; returns its index for Submit.
  // `channel` numbers a decoder's input in the JSON that its messages
  // become (and picks its frequency); -1 for an input that is no decoder.
  std::size_t AddInput(std::string name, DecoderSource source, std::int32_t channel = -1);
  // The outputs are the caller's; they must outlive the router or be removed.
  void AddOutput(MessageOutput& output);
  void RemoveOutput(const MessageOutput& output);
  // A message equal to one forwarded from any input in the last `seconds`
  // (on the clock NowMs reads) goes to no output. 0, the default: off.
  void SetDuplicateSeconds(std::uint32_t seconds);

  // Forwards one decoder text from `input`. A text that arrives while
  // another is being sent waits and goes right after it.
  void Submit(std::string text, std::size_t input);
  // Forwards one message that came parsed from a JSON feed, likewise.
  void SubmitParsed(AcarsMessage message, std::size_t input);
  // A JSON input tells of each object it took from its feed, before it is
  // converted; it goes to the tap only.
  void ObjectReceived(std::string_view object, std::size_t input) {
    if (mTap) mTap->ObjectArrived(mInputs.at(input).Name, object);
  }
  // What sees every arrival; null: nothing. The tap must outlive the router
  // or be removed.
  void SetTap(ArrivalTap* tap) { mTap = tap; }
  // Hands what the outputs kept to their transports: the program's answer
  // to RequestFlush.
  void Flush();
  // Counts an object a JSON input skipped (not ACARS, partial, broken).
  void CountSkipped(std::size_t input) { ++mInputs.at(input).Counters.Skipped; }
  // Counts texts an input's link lost before they could be handed in.
  void CountNotRead(std::size_t input, std::uint64_t count) { mInputs.at(input).Counters.NotRead += count; }

  const std::string& InputName(std::size_t input) const { return mInputs.at(input).Name; }
  const InputCounters& Counters(std::size_t input) const { return mInputs.at(input).Counters; }
  std::size_t InputCount() const { return mInputs.size(); }
  std::uint64_t TotalDropped() const { return mTotalDropped; }
  bool Forwarding() const { return mForwarding; }

 private:
  struct Input {
    std::string Name;
    DecoderSource Source;
    std::int32_t Channel;
    InputCounters Counters;
  };
  struct Arrival {
    std::string Text;
    std::optional<AcarsMessage> Parsed;  // from a JSON feed
    std::size_t Input;
    double ArrivedAt;
  };
  void Enqueue(Arrival arrival);

  void ForwardQueued();
  void FlushOutputs();
  // Prepares one text and offers it to every output; returns the record's
  // size when an output kept it, else 0.
  std::size_t Route(const Arrival& arrival);
  struct Output;
  // Adds what the output dropped since the router last looked to the
  // total, and reports it: drops when it takes, losses when it flushes.
  void CountDrops(Output& output);
  void ShowLatest();
  template <typename Step>
  void Guarded(const char* where, Step&& step);

  RouterEvents& mEvents;
  std::vector<Input> mInputs;
  struct Output {
    MessageOutput* Target;
    std::uint64_t DroppedSeen;  // its drops already in mTotalDropped
  };
  std::vector<Output> mOutputs;
  std::deque<Arrival> mPending;
  ForwardedMessage mPrepared;  // the message being routed
  DuplicateFilter mDuplicates;
  bool mForwarding = false;
  bool mFlushRequested = false;
  std::size_t mUnflushed = 0;  // record bytes kept since the last flush
  RouterEvents::Latest mLatest;
  std::uint64_t mShownAt = 0;
  std::uint64_t mTotalDropped = 0;
  std::uint64_t mSequence = 0;
  ArrivalTap* mTap = nullptr;
};

// The current time as Unix seconds with microseconds.
double UnixSecondsNow();
