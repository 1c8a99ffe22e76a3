#include "inputs/decoder_links.h"

#include <vector>

#include "net/socket_error.h"
#include "pipeline/forwarding.h"
#include "stats/stage_profile.h"

DecoderLinks::DecoderLinks(MessageRouter& router, DebugLogger& log, Reporter& reporter, std::int32_t silenceMinutes)
    : mRouter(router),
      mLog(log),
      mReporter(reporter),
      mSilenceMinutes(silenceMinutes),
      mWatchdog(kCount, silenceMinutes * 60.0) {
  for (std::size_t i = 0; i < kCount; ++i) {
    const DecoderLinkInfo& info = kTable[i];
    const std::size_t input = mRouter.AddInput(info.InputName, info.Source, static_cast<std::int32_t>(i));
    mLinks[i] = std::make_unique<Link>(
        info, input,
        DdeTextBox::Handlers{[this, i] { Changed(i); }, [this, i] { Gone(i); }, [this, i] { TextsEmpty(i); }});
  }
}

void DecoderLinks::Start(Events& events, HWND window, UINT answered) {
  mEvents = &events;
  mWindow = window;
  mAnswered = answered;
  for (const std::size_t link : {0, 1, 3, 2}) Toggle(link);
}

void DecoderLinks::SetLinked(std::size_t link, bool linked) {
  mLinks[link]->Linked = linked;
  if (mEvents) mEvents->LinkChanged(link, linked);
}

void DecoderLinks::Toggle(std::size_t index) {
  Link& link = *mLinks.at(index);
  if (link.Linked) {
    link.UnlinkedByHand = true;
    mWatchdog.Unlinked(index);
    try {
      link.Box.SetLinkMode(0);
    } catch (...) {
      // Ending a conversation that is already gone has nothing to report.
    }
    SetLinked(index, false);
    return;
  }
  link.UnlinkedByHand = false;
  const auto [number, description] = Open(index);
  mLog.Write(link.Info.Label, std::to_string(number) + "-" + description);
}

std::pair<std::int32_t, std::string> DecoderLinks::Open(std::size_t index) {
  Link& link = *mLinks[index];
  // Every step runs; the last error since the start is what counts.
  std::int32_t number = 0;
  std::string description;
  auto step = [&](auto&& action) {
    try {
      action();
    } catch (const DdeLinkError& e) {
      number = e.Number;
      description = e.what();
    } catch (const std::exception& e) {
      number = -1;
      description = e.what();
    }
  };
  step([&] { link.Box.SetLinkTopic(std::string(link.Info.Application) + "|" + kTopic); });
  step([&] { link.Box.SetLinkItem(kItem); });
  step([&] { link.Box.SetLinkMode(1); });
  if (number == 0) {
    SetLinked(index, true);
    mWatchdog.Linked(index, UnixSecondsNow());
    // A decoder that was restarted sends its texts whole again.
    link.EmptyReported = false;
    mReporter.Cleared({ReportKey::Kind::TextsEmpty, index});
  }
  return {number, description};
}

void DecoderLinks::Changed(std::size_t index) {
  // Data the library still dispatches while the program ends goes nowhere.
  if (mClosed) return;
  const StageTimer timer(Stage::Arrival);
  Link& link = *mLinks[index];
  const std::string tag = std::string(link.Info.Box) + " ";
  try {
    if (mWatchdog.Message(index, UnixSecondsNow())) {
      mReporter.Cleared({ReportKey::Kind::Silence, index});
      mLog.Write("Watchdog", mRouter.InputName(link.Input) + ": messages again");
    }
    const std::string& text = link.Box.Text();
    if (mLog.On()) mLog.Write(ChangeLogDescription(tag, text), text);
    mRouter.Submit(text, link.Input);
  } catch (...) {
    mReporter.Report({}, DescribeError(tag.c_str(), std::current_exception()));
  }
}

void DecoderLinks::Gone(std::size_t index) {
  if (mClosed) return;
  mWatchdog.Unlinked(index);
  SetLinked(index, false);
  mLog.Write(mLinks[index]->Info.Label,
             std::to_string(DMLERR_SERVER_DIED) + "-" + DdeErrorDescription(DMLERR_SERVER_DIED));
}

void DecoderLinks::TextsEmpty(std::size_t index) {
  if (mClosed) return;
  Link& link = *mLinks[index];
  mRouter.CountNotRead(link.Input, 1);
  // A decoder that can post no more values under Wine sends every later
  // one empty: the link stays up and nothing else tells the user.
  if (link.EmptyReported) return;
  link.EmptyReported = true;
  const std::string text = mRouter.InputName(link.Input) + ": texts arrive empty; restart the decoder program";
  mReporter.Report({ReportKey::Kind::TextsEmpty, index}, text, "Decoder texts empty");
  mLog.Write(link.Info.Label, text);
}

void DecoderLinks::tmr_linkwatch_Timer() {
  for (std::size_t i = 0; i < kCount; ++i) {
    // A decoder that was killed, or that ended without the library telling
    // this side, leaves a conversation whose partner window is gone. The
    // texts it posted before it went may still wait in the queue, and the
    // library throws away what comes for a conversation that has ended: the
    // link ends once they have been taken.
    DdeTextBox& box = mLinks[i]->Box;
    if (box.Connected() && !box.PartnerAlive() && !box.MessagesWaiting()) {
      box.SetLinkMode(0);
      Gone(i);
    }
  }
}

void DecoderLinks::tmr_relink_Timer() {
  // Looking for a decoder sends a message to every top-level window and
  // waits for each answer, tens of milliseconds under Wine: the probe does
  // it on a thread of its own, and a decoder that answered is linked here.
  // The thread costs memory: it runs only while a decoder is missing.
  std::vector<std::pair<std::size_t, std::string>> wanted;
  for (std::size_t i = 0; i < kCount; ++i) {
    if (WaitingForDecoder(*mLinks[i])) wanted.emplace_back(i, mLinks[i]->Info.Application);
  }
  if (wanted.empty() || mClosed) {
    mProbe.reset();
    return;
  }
  if (!mProbe) mProbe = std::make_unique<DecoderProbe>(mWindow, mAnswered, kTopic);
  mProbe->Look(std::move(wanted));
}

void DecoderLinks::DecoderAnswered(std::size_t index) {
  if (mClosed || index >= kCount || !WaitingForDecoder(*mLinks[index])) return;
  // Quietly: only a link that comes about is worth a log entry.
  if (Open(index).first == 0) mLog.Write(mLinks[index]->Info.Label, "0-");
}

void DecoderLinks::CheckSilence(double now) {
  for (const std::size_t i : mWatchdog.Check(now)) {
    const std::string text =
        mRouter.InputName(mLinks[i]->Input) + ": no message for " + std::to_string(mSilenceMinutes) + " minutes";
    mReporter.Report({ReportKey::Kind::Silence, i}, text, "No messages");
    mLog.Write("Watchdog", text);
  }
}

void DecoderLinks::SetSilenceMinutes(std::int32_t minutes) {
  mSilenceMinutes = minutes;
  mWatchdog.SetLimitSeconds(minutes * 60.0);
}

void DecoderLinks::Close() {
  mClosed = true;
  mProbe.reset();
  for (std::size_t i = 0; i < kCount; ++i) {
    try {
      mLinks[i]->Box.SetLinkMode(0);
    } catch (...) {
      // Ending a conversation that is already gone has nothing to report.
    }
    if (mLinks[i]->Linked) SetLinked(i, false);
  }
}

void DecoderLinks::AddRows(Statistics& s, double now) const {
  for (std::size_t i = 0; i < kCount; ++i) {
    const std::size_t input = mLinks[i]->Input;
    const auto& c = mRouter.Counters(input);
    s.Sources.push_back({mRouter.InputName(input), mLinks[i]->Box.Connected(), mWatchdog.Silent(i), c.Received,
                         c.Forwarded, c.Filtered, c.Dropped, c.LastMessageAt, c.PerMinute.Last(now), c.NotRead,
                         c.Duplicates});
  }
}
