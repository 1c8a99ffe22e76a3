#include "capture/capture_line.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <utility>

#include "pipeline/json_parse.h"
#include "pipeline/single_byte_text.h"

namespace {

// Keeps the members in the order the sender wrote them, so that a line reads
// like the object that came.
using Json = nlohmann::ordered_json;

constexpr std::int64_t kMicrosPerSecond = 1000000;
constexpr std::int64_t kMicrosPerDay = 86400 * kMicrosPerSecond;

// Reads `count` digits at `at`; -1 when they are not all digits.
int Digits(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return -1;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::string UtcTimeText(std::int64_t micros) {
  using namespace std::chrono;
  // Floor division, so that a time before 1970 still names its own day.
  std::int64_t days = micros / kMicrosPerDay;
  if (micros % kMicrosPerDay < 0) --days;
  const std::int64_t inDay = micros - days * kMicrosPerDay;
  const year_month_day date{sys_days{std::chrono::days{days}}};
  const std::int64_t seconds = inDay / kMicrosPerSecond;
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02lld:%02lld:%02lld.%06lldZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                static_cast<long long>(seconds % 60), static_cast<long long>(inDay % kMicrosPerSecond));
  return text;
}

std::optional<std::int64_t> ParseUtcTimeText(std::string_view text) {
  using namespace std::chrono;
  // 2026-12-08T19:26:20.123456Z
  if (text.size() != 27 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':' ||
      text[19] != '.' || text[26] != 'Z') {
    return std::nullopt;
  }
  const int y = Digits(text, 0, 4), mo = Digits(text, 5, 2), d = Digits(text, 8, 2);
  const int h = Digits(text, 11, 2), mi = Digits(text, 14, 2), s = Digits(text, 17, 2);
  const int us = Digits(text, 20, 6);
  if (y < 0 || mo < 0 || d < 0 || h < 0 || mi < 0 || s < 0 || us < 0 || h > 23 || mi > 59 || s > 59) {
    return std::nullopt;
  }
  const year_month_day date{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
  if (!date.ok()) return std::nullopt;
  const std::int64_t days = sys_days{date}.time_since_epoch().count();
  return days * kMicrosPerDay + ((h * 60 + mi) * 60 + s) * kMicrosPerSecond + us;
}

std::string CaptureLine(const CaptureRecord& record) {
  Json line;
  line["input"] = SingleByteToUtf8(record.Input);
  line["time"] = UtcTimeText(record.Micros);
  if (record.Type == CaptureRecord::Kind::Text) {
    line["text"] = SingleByteToUtf8(record.Content);
  } else {
    Json object = ParseJson<Json>(record.Content);
    if (object.is_discarded()) {
      // Not JSON, or nested too deeply: kept as the text that came, so that
      // a replay sends it again.
      line["json"] = record.Content;
    } else {
      line["object"] = std::move(object);
    }
  }
  // What is not UTF-8 in a text that was no JSON becomes U+FFFD; everything
  // else is UTF-8 already.
  return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<CaptureRecord> ParseCaptureLine(std::string_view line, std::string& why) {
  // The line nests its object one level deeper than the object came.
  const Json json = ParseJson<Json>(line, kMaxJsonDepth + 1);
  if (json.is_discarded()) {
    why = "not JSON";
    return std::nullopt;
  }
  if (!json.is_object() || !json.contains("input") || !json["input"].is_string()) {
    why = "no \"input\"";
    return std::nullopt;
  }
  CaptureRecord record;
  record.Input = Utf8ToSingleByte(json["input"].get<std::string>());
  const auto time = json.contains("time") && json["time"].is_string()
                        ? ParseUtcTimeText(json["time"].get<std::string>())
                        : std::nullopt;
  if (!time) {
    why = "no \"time\" of the form 2026-12-08T19:26:20.123456Z";
    return std::nullopt;
  }
  record.Micros = *time;
  if (json.contains("text") && json["text"].is_string()) {
    record.Type = CaptureRecord::Kind::Text;
    record.Content = Utf8ToSingleByte(json["text"].get<std::string>());
  } else if (json.contains("object")) {
    record.Type = CaptureRecord::Kind::Object;
    record.Content = json["object"].dump();
  } else if (json.contains("json") && json["json"].is_string()) {
    record.Type = CaptureRecord::Kind::Object;
    record.Content = json["json"].get<std::string>();
  } else {
    why = "neither \"text\" nor \"object\"";
    return std::nullopt;
  }
  return record;
}
