#include "message_router.h"

#include <algorithm>

namespace {

// Clears a flag when the scope ends, however it ends: a step that raises
// must never leave the router believing a send is still in progress, or
// every later text would wait for good.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : mFlag(flag) { mFlag = true; }
  ~FlagScope() { mFlag = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& mFlag;
};

}  // namespace

double UnixSecondsNow() {
  using namespace std::chrono;
  const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
  return static_cast<double>(us) / 1e6;
}

std::size_t MessageRouter::AddInput(std::string name, DecoderSource source) {
  mInputs.push_back({std::move(name), source, {}});
  return mInputs.size() - 1;
}

void MessageRouter::AddOutput(MessageOutput& output) {
  mOutputs.push_back(&output);
}

void MessageRouter::RemoveOutput(const MessageOutput& output) {
  std::erase(mOutputs, &output);
}

void MessageRouter::Submit(std::string text, std::size_t input) {
  Enqueue({std::move(text), std::nullopt, input, UnixSecondsNow()});
}

void MessageRouter::SubmitParsed(AcarsMessage message, std::size_t input) {
  Enqueue({{}, std::move(message), input, UnixSecondsNow()});
}

void MessageRouter::Enqueue(Arrival arrival) {
  mInputs.at(arrival.Input);  // an unknown input is the caller's fault: raise before queueing
  mPending.push_back(std::move(arrival));
  if (mForwarding) return;  // the send in progress takes it next
  FlagScope forwarding(mForwarding);
  ForwardQueued();
}

void MessageRouter::ForwardQueued() {
  while (!mPending.empty()) {
    // Every text queued by now is prepared in order before the outputs
    // send: each send call costs far more than the bytes it carries, so
    // under load this is what keeps up with the decoders.
    std::size_t batched = 0;
    while (!mPending.empty() && batched < kBatchBytes) {
      const Arrival next = std::move(mPending.front());
      mPending.pop_front();
      Guarded("SendMsg", [&] { batched += Route(next); });
    }
    if (batched > 0) {
      const std::vector<MessageOutput*> outputs = mOutputs;
      for (MessageOutput* output : outputs) Guarded("SendMsg", [&] { output->Flush(); });
      // Texts that arrive during this pass queue behind the ones just sent.
      Guarded("SendMsg", [&] { mEvents.Pump(); });
    }
    if (mEvents.NowMs() - mShownAt >= kShowIntervalMs) Guarded("SendMsg", [&] { ShowLatest(); });
  }
  Guarded("SendMsg", [&] { ShowLatest(); });
}

std::size_t MessageRouter::Route(const Arrival& arrival) {
  Input& input = mInputs[arrival.Input];
  ++input.Counters.Received;
  input.Counters.LastMessageAt = arrival.ArrivedAt;
  input.Counters.PerMinute.Add(arrival.ArrivedAt);

  const std::optional<ForwardedMessage> f =
      arrival.Parsed ? PrepareParsedMessage(*arrival.Parsed) : PrepareMessage(arrival.Text, input.Source);
  if (!f) {
    ++input.Counters.Filtered;
    return 0;
  }
  if (IsDroppedHfMessage(f->Message)) {
    ++input.Counters.Filtered;
    if (mEvents.LogEnabled()) mEvents.Log("not send Message", "");
    return 0;
  }
  mLatest.Display = f->Normalised;

  const std::string record = RecordBytes(*f);
  const PreparedMessage message{*f, record, arrival.ArrivedAt, arrival.Input, arrival.Parsed.has_value(), ++mSequence};
  bool kept = false;
  for (MessageOutput* output : mOutputs) {
    auto delivery = MessageOutput::Delivery::NotWanted;
    Guarded("SendMsg", [&] { delivery = output->Take(message); });
    if (delivery == MessageOutput::Delivery::Kept) {
      kept = true;
    } else if (delivery == MessageOutput::Delivery::Dropped) {
      ++mTotalDropped;
      ++input.Counters.Dropped;
      mEvents.MessageDropped(*output, mTotalDropped);
      if (mEvents.LogEnabled()) {
        mEvents.Log("dropped Message: " + output->DropReason() + ", " + std::to_string(output->Dropped()) + " dropped",
                    f->Normalised);
      }
    }
  }
  if (!kept) return 0;
  ++input.Counters.Forwarded;
  mLatest.Panels = {f->Message.AircraftReg, f->Message.FlightNumber};
  if (mEvents.LogEnabled()) mEvents.Log(ForwardLogDescription(*f), f->Normalised);
  return record.size();
}

void MessageRouter::ShowLatest() {
  mShownAt = mEvents.NowMs();
  RouterEvents::Latest latest = std::exchange(mLatest, {});
  if (latest.Display || latest.Panels) mEvents.ShowLatest(latest);
}

template <typename Step>
void MessageRouter::Guarded(const char* where, Step&& step) {
  try {
    step();
  } catch (...) {
    mEvents.ReportError(where, std::current_exception());
  }
}
