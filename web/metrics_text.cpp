#include "web/metrics_text.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

namespace {

// One metric: its samples, each a label value (or none) and a number.
class Metric {
 public:
  Metric(std::string& out, const char* name, const char* type, const char* help, const char* label = nullptr)
      : mOut(out), mName(name), mLabel(label) {
    mOut += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
  }
  void Sample(const std::string& labelValue, const std::string& number) {
    mOut += mName;
    if (mLabel) mOut += std::string("{") + mLabel + "=\"" + EscapeLabelValue(labelValue) + "\"}";
    mOut += " " + number + "\n";
  }
  void Sample(const std::string& labelValue, std::uint64_t number) { Sample(labelValue, std::to_string(number)); }

 private:
  std::string& mOut;
  const char* mName;
  const char* mLabel;
};

std::string Seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

// The inputs' counters: every decoder and JSON input, as the statistics
// window names them.
void InputCounter(std::string& out, const StatusSnapshot& s, const char* name, const char* help,
                  std::uint64_t Statistics::Source::*field) {
  Metric metric(out, name, "counter", help, "input");
  for (const Statistics::Source& source : s.Stats.Sources) metric.Sample(source.Name, source.*field);
}

// The outputs' values: the client port's, then each JSON output's.
void OutputMetric(std::string& out, const StatusSnapshot& s, const char* name, const char* type, const char* help,
                  const std::string& clientPort, const std::function<std::string(const Statistics::Feed&)>& feed) {
  Metric metric(out, name, type, help, "output");
  metric.Sample(kClientPortOutput, clientPort);
  for (const Statistics::Feed& f : s.Stats.Feeds) {
    if (!f.Input) metric.Sample(f.Name, feed(f));
  }
}

}  // namespace

std::string EscapeLabelValue(const std::string& value) {
  std::string escaped;
  escaped.reserve(value.size());
  for (const char c : value) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '"') {
      escaped += "\\\"";
    } else if (c == '\n') {
      escaped += "\\n";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string MetricsText(const StatusSnapshot& s) {
  std::string out;
  using Source = Statistics::Source;
  InputCounter(out, s, "tolvan_messages_received_total", "Messages an input handed in.", &Source::Received);
  InputCounter(out, s, "tolvan_messages_forwarded_total", "Messages of an input that an output took.",
               &Source::Forwarded);
  InputCounter(out, s, "tolvan_messages_filtered_total", "Messages of an input left out as too short or unreadable.",
               &Source::Filtered);
  InputCounter(out, s, "tolvan_messages_duplicate_total",
               "Messages of an input left out as equal to one forwarded moments before.", &Source::Duplicates);
  InputCounter(out, s, "tolvan_messages_not_read_total",
               "Texts a decoder link lost: empty, not text, or replaced before read.", &Source::NotRead);
  OutputMetric(out, s, "tolvan_messages_dropped_total", "counter", "Messages an output dropped.",
               std::to_string(s.ClientPortDropped), [](const Statistics::Feed& f) { return std::to_string(f.Lost); });
  OutputMetric(out, s, "tolvan_messages_sent_total", "counter", "Messages an output sent.",
               std::to_string(s.ClientPortSent), [](const Statistics::Feed& f) { return std::to_string(f.Count); });
  OutputMetric(out, s, "tolvan_output_up", "gauge", "1 when an output works, 0 when it is down.",
               s.ClientPortListening ? "1" : "0",
               [](const Statistics::Feed& f) { return std::string(FeedIsUp(f.State) ? "1" : "0"); });
  {
    Metric linked(out, "tolvan_decoder_linked", "gauge", "1 when the bridge holds a link to the decoder.", "decoder");
    for (std::size_t i = 0; i < s.Decoders && i < s.Stats.Sources.size(); ++i) {
      linked.Sample(s.Stats.Sources[i].Name, s.Stats.Sources[i].Linked ? "1" : "0");
    }
  }
  Metric(out, "tolvan_clients_connected", "gauge", "Clients connected to the client port.")
      .Sample("", s.Stats.Clients.size());
  {
    // An input that has not had a message yet has no sample.
    Metric last(out, "tolvan_last_message_timestamp_seconds", "gauge", "When an input last had a message (Unix time).",
                "input");
    for (const Source& source : s.Stats.Sources) {
      if (source.LastMessageAt) last.Sample(source.Name, Seconds(*source.LastMessageAt));
    }
  }
  {
    Metric last(out, "tolvan_output_last_send_timestamp_seconds", "gauge",
                "When a JSON output last sent a message (Unix time).", "output");
    for (const auto& [name, at] : s.OutputLastSendAt) last.Sample(name, Seconds(at));
  }
  Metric(out, "tolvan_build_info", "gauge", "The bridge's version.", "version").Sample(s.Version, "1");
  Metric(out, "process_resident_memory_bytes", "gauge", "Resident memory size in bytes.").Sample("", s.ResidentBytes);
  Metric(out, "process_start_time_seconds", "gauge", "Start time of the process since the Unix epoch in seconds.")
      .Sample("", Seconds(s.StartedAt));
  return out;
}
