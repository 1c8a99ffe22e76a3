#include "router/message_router.h"

#include <algorithm>

#include "common/flag_scope.h"
#include "stats/stage_profile.h"

double UnixSecondsNow() {
  using namespace std::chrono;
  const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
  return static_cast<double>(us) / 1e6;
}

std::size_t MessageRouter::AddInput(std::string name, DecoderSource source, std::int32_t channel) {
  mInputs.push_back({std::move(name), source, channel, {}});
  return mInputs.size() - 1;
}

void MessageRouter::AddOutput(MessageOutput& output) {
  mOutputs.push_back({&output, output.Dropped()});
}

void MessageRouter::RemoveOutput(const MessageOutput& output) {
  // What it lost since the last flush is counted before it goes.
  for (Output& o : mOutputs) {
    if (o.Target == &output) CountDrops(o);
  }
  std::erase_if(mOutputs, [&](const Output& o) { return o.Target == &output; });
}

void MessageRouter::SetDuplicateSeconds(std::uint32_t seconds) {
  mDuplicates.SetWindow(std::uint64_t{seconds} * 1000);
}

void MessageRouter::Submit(std::string text, std::size_t input) {
  if (mTap) mTap->TextArrived(mInputs.at(input).Name, text);
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
    const Arrival next = std::move(mPending.front());
    mPending.pop_front();
    Guarded("SendMsg", [&] { mUnflushed += Route(next); });
    if (mUnflushed >= kBatchBytes) FlushOutputs();
    if (mEvents.NowMs() - mShownAt >= kShowIntervalMs) Guarded("SendMsg", [&] { ShowLatest(); });
  }
  // The send waits for the loop's pass: each send call costs far more than
  // the bytes it carries, so every text that waits in the loop by then is
  // prepared first and goes in the same send.
  if (mUnflushed > 0 && !mFlushRequested) {
    Guarded("SendMsg", [&] { mFlushRequested = mEvents.RequestFlush(); });
    if (!mFlushRequested) FlushOutputs();
  }
  Guarded("SendMsg", [&] { ShowLatest(); });
}

void MessageRouter::Flush() {
  mFlushRequested = false;
  if (mForwarding) return;  // called from inside the forwarding: its own flush request follows
  FlagScope forwarding(mForwarding);
  FlushOutputs();
  // Texts that arrived during the send.
  ForwardQueued();
}

void MessageRouter::FlushOutputs() {
  mUnflushed = 0;
  // A flush may take an output off the router (a client whose send failed).
  std::vector<MessageOutput*> outputs;
  for (const Output& o : mOutputs) outputs.push_back(o.Target);
  for (MessageOutput* output : outputs) {
    const StageTimer timer(Stage::Send);
    Guarded("SendMsg", [&] { output->Flush(); });
    const auto it = std::find_if(mOutputs.begin(), mOutputs.end(), [&](const Output& o) { return o.Target == output; });
    if (it != mOutputs.end()) CountDrops(*it);
  }
}

void MessageRouter::CountDrops(Output& output) {
  const std::uint64_t dropped = output.Target->Dropped();
  if (dropped == output.DroppedSeen) return;
  mTotalDropped += dropped - output.DroppedSeen;
  output.DroppedSeen = dropped;
  // The report is the program's: one that raises must not keep the message
  // from the outputs after this one.
  Guarded("SendMsg", [&] { mEvents.MessageDropped(*output.Target, mTotalDropped); });
}

std::size_t MessageRouter::Route(const Arrival& arrival) {
  std::optional<StageTimer> timer(std::in_place, Stage::Prepare);
  Input& input = mInputs[arrival.Input];
  ++input.Counters.Received;
  input.Counters.LastMessageAt = arrival.ArrivedAt;
  input.Counters.PerMinute.Add(arrival.ArrivedAt);

  // One message's buffers serve every message: preparing a text allocates
  // nothing once they have grown to the size of the texts.
  ForwardedMessage* f = &mPrepared;
  if (arrival.Parsed) {
    mPrepared = PrepareParsedMessage(*arrival.Parsed);
  } else if (!PrepareMessage(arrival.Text, input.Source, mPrepared)) {
    ++input.Counters.Filtered;
    return 0;
  }
  if (IsDroppedHfMessage(f->Message)) {
    ++input.Counters.Filtered;
    if (mEvents.LogEnabled()) mEvents.Log("not send Message", "");
    return 0;
  }
  // Two receivers of one message: it goes out once, whichever input is
  // first, and every output leaves out the same copies.
  const std::uint64_t nowMs = mDuplicates.Enabled() ? mEvents.NowMs() : 0;
  if (mDuplicates.IsDuplicate(f->Message, nowMs)) {
    ++input.Counters.Duplicates;
    if (mEvents.LogEnabled()) {
      mEvents.Log("duplicate Message from " + input.Name + ": forwarded within the last " +
                      std::to_string(mDuplicates.WindowMs() / 1000) + " s",
                  f->Normalised);
    }
    return 0;
  }
  mLatest.Display = f->Normalised;

  const std::string_view record = f->Record;
  const PreparedMessage message{
      *f, record, arrival.ArrivedAt, arrival.Input, input.Channel, arrival.Parsed.has_value(), ++mSequence};
  timer.emplace(Stage::Take);
  bool kept = false;
  for (Output& o : mOutputs) {
    MessageOutput* output = o.Target;
    auto delivery = MessageOutput::Delivery::NotWanted;
    Guarded("SendMsg", [&] { delivery = output->Take(message); });
    CountDrops(o);
    if (delivery == MessageOutput::Delivery::Kept) {
      kept = true;
    } else if (delivery == MessageOutput::Delivery::Dropped) {
      ++input.Counters.Dropped;
      // The log is the program's, like the report.
      Guarded("SendMsg", [&] {
        if (!mEvents.LogEnabled()) return;
        mEvents.Log("dropped Message: " + output->DropReason() + ", " + std::to_string(output->Dropped()) + " dropped",
                    f->Normalised);
      });
    }
  }
  if (!kept) return 0;
  ++input.Counters.Forwarded;
  mDuplicates.Remember(f->Message, nowMs);
  mLatest.Panels = {f->Message.AircraftReg, f->Message.FlightNumber};
  // Kept records are flushed whatever the log does.
  Guarded("SendMsg", [&] {
    if (mEvents.LogEnabled()) mEvents.Log(ForwardLogDescription(*f), f->Normalised);
  });
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
