// Messages as JSON lines out, and JSON objects of both layouts in: every
// line parses back with the library and holds the types the routers insist
// on; every object in becomes the record a decoder's text would have made.

#include "pipeline/acars_json.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "pipeline/forwarding.h"

namespace {

using nlohmann::json;

JsonFeedInfo Info() {
  JsonFeedInfo info;
  info.Timestamp = 1765190400.123456;
  info.StationId = "XX-TEST";
  info.Freq = 131.725;
  info.Channel = 2;
  info.AppVersion = "1.31";
  return info;
}

AcarsMessage Parsed(const std::string& text) {
  return PrepareMessage(text, DecoderSource::AirNavPosfix)->Message;
}

const std::string kDownlink =
    "ACARS mode: 2 Aircraft reg: .D-ABCD\r\nMessage label: H1 Block id: 3 Msg. no: M12A\r\nFlight id: XY012A\r\n"
    "Message content:-\r\nPOSITION REPORT\r\n------------------------[ 1 ]\r\n";

// Parses a line as the routers do, checking the types they insist on.
json Strict(const std::string& line) {
  EXPECT_EQ(line.back(), '\n');
  EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line";
  const json j = json::parse(line);
  EXPECT_TRUE(j.at("timestamp").is_number());
  EXPECT_TRUE(j.at("freq").is_number());
  EXPECT_TRUE(j.at("channel").is_number_integer());
  EXPECT_EQ(j.at("error"), 0);
  EXPECT_EQ(j.at("ack"), false);
  EXPECT_TRUE(j.at("text").is_string());
  EXPECT_EQ(j.at("app").at("name"), "TolvanDDE");
  return j;
}

// The record bytes of a message, for comparing the two roads.
std::string Record(const AcarsMessage& m) {
  return RecordBytes(PrepareParsedMessage(m));
}

}  // namespace

TEST(MessageToJson, DownlinkCarriesEveryField) {
  const json j = Strict(MessageToJsonLine(Parsed(kDownlink), Info()));
  EXPECT_DOUBLE_EQ(j["timestamp"].get<double>(), 1765190400.123456);
  EXPECT_EQ(j["station_id"], "XX-TEST");
  EXPECT_DOUBLE_EQ(j["freq"].get<double>(), 131.725);
  EXPECT_EQ(j["channel"], 2);
  EXPECT_EQ(j["mode"], "2");
  EXPECT_EQ(j["label"], "H1");
  EXPECT_EQ(j["block_id"], "3");
  EXPECT_EQ(j["tail"], "D-ABCD");
  EXPECT_EQ(j["flight"], "XY012A");
  EXPECT_EQ(j["msgno"], "M12A");
  EXPECT_EQ(j["text"], "POSITION REPORT");
  EXPECT_EQ(j["app"]["ver"], "1.31");
}

namespace {

std::string DecoderText(const std::string& label, const std::string& content) {
  return "ACARS mode: 2 Aircraft reg: .D-ABCD\r\nMessage label: " + label +
         " Block id: 2 Msg. no: M03A\r\nFlight id: XY0123\r\nMessage content:-\r\n" + content +
         "\r\n------------------------[ 1 ]\r\n";
}

}  // namespace

// JSON readers match position reports up to the end of the text: the line
// end a decoder prints after the last line is not part of it, while the
// frame text keeps it.
TEST(MessageToJson, PositionReportsEndWithTheirLastCharacter) {
  const std::vector<std::pair<std::string, std::string>> reports = {
      {"16", "N 50.123,E  8.456,37000,1234,0127,M42,250,118"},
      {"15", "(2N50123E008456 1234 370 M45)"},
      {"44", "POS02,N50123E008456,370,EDDF,LIRF,1208,1234,0045,0123"},
  };
  for (const auto& [label, text] : reports) {
    const auto f = PrepareMessage(DecoderText(label, text), DecoderSource::SkySpy);
    ASSERT_TRUE(f.has_value()) << label;
    EXPECT_EQ(f->Message.MessageContent, text + "\r\n") << label;
    const json j = Strict(MessageToJsonLine(f->Message, Info()));
    EXPECT_EQ(j["label"], label);
    EXPECT_EQ(j["text"], text) << label;
    EXPECT_EQ(f->Frame(),
              "*\x16\x16\x01"
              "2.D-ABCD\x15" +
                  label + "2\x02M03AXY0123" + text + "\r\n\x03")
        << "the record keeps the line end";
  }
}

TEST(MessageToJson, OnlyTheOneFinalLineEndIsLeftOut) {
  AcarsMessage m = Parsed(kDownlink);
  m.MessageContent = "POS N50123E008456\r\nFL370\r\n";
  EXPECT_EQ(Strict(MessageToJsonLine(m, Info()))["text"], "POS N50123E008456\r\nFL370");
  m.MessageContent = "FL370\r\n\r\n";
  EXPECT_EQ(Strict(MessageToJsonLine(m, Info()))["text"], "FL370\r\n");
  m.MessageContent = "\r\n";
  EXPECT_EQ(Strict(MessageToJsonLine(m, Info()))["text"], "");
  m.MessageContent = "FL370\r";
  EXPECT_EQ(Strict(MessageToJsonLine(m, Info()))["text"], "FL370\r");
  m.MessageContent = "FL370\n";
  EXPECT_EQ(Strict(MessageToJsonLine(m, Info()))["text"], "FL370\n");
  m.MessageContent = "FL370";
  EXPECT_EQ(Strict(MessageToJsonLine(m, Info()))["text"], "FL370");
}

TEST(MessageToJson, UplinkSquitterEmptyTextAndNoStation) {
  JsonFeedInfo info = Info();
  info.StationId.reset();
  info.Freq = 0;
  const json up = Strict(MessageToJsonLine(
      Parsed("ACARS mode: 2 Aircraft reg: .G-EUPT\r\nMessage label: _d Block id: A Msg. no: M01A\r\nFlight id: "
             "BA0286\r\nMessage content:-\r\n------------------------[ 2 ]\r\n"),
      info));
  EXPECT_FALSE(up.contains("station_id"));
  EXPECT_EQ(up["freq"], 0);
  EXPECT_FALSE(up.contains("flight")) << "downlinks only";
  EXPECT_FALSE(up.contains("msgno"));
  EXPECT_EQ(up["text"], "");
  const json sq = Strict(MessageToJsonLine(
      Parsed("Message label: SQ Block id: S\r\nMessage content:-\r\n02XS\r\n------------------------[ 5 ]\r\n"), info));
  EXPECT_FALSE(sq.contains("tail"));
  EXPECT_FALSE(sq.contains("mode"));
  EXPECT_FALSE(sq.contains("flight"));
  EXPECT_EQ(sq["block_id"], "S");
  EXPECT_EQ(sq["label"], "SQ");
}

TEST(MessageToJson, CharactersAboveAsciiAndControlsAreValidJson) {
  AcarsMessage m = Parsed(kDownlink);
  m.MessageContent = std::string("caf\xE9 \x80 \x9F end\x01\x1F\"\\\r\n", 18);
  const std::string line = MessageToJsonLine(m, Info());
  const json j = Strict(line);
  EXPECT_EQ(j["text"], "caf\u00e9 \u20ac \u0178 end\u0001\u001f\"\\");
  EXPECT_NE(line.find("\\u0001"), std::string::npos) << "controls escaped";

  m.MessageContent = std::string(100 * 1024, 'z');
  EXPECT_EQ(Strict(MessageToJsonLine(m, Info()))["text"].get<std::string>().size(), 100u * 1024);
}

TEST(MessageFromJson, FlatDownlinkMakesTheSameRecordAsTheDecoderText) {
  const auto in =
      MessageFromJson(R"({"timestamp":1765190400.25,"freq":131.725,"channel":0,"mode":"2","label":"H1","block_id":"3",)"
                      R"("ack":false,"tail":"D-ABCD","flight":"XY012A","msgno":"M12A","text":"POSITION REPORT\r\n"})",
                      DecoderSource::AirNavPosfix);
  ASSERT_EQ(in.Skip, JsonSkip::None);
  const std::string expected = std::string("\x2D\0\0\0\0\0\0\0\0\0\0\0\x03\0\0\0", 16) +
                               "*\x16\x16\x01"
                               "2.D-ABCD\x15H13\x02M12AXY012APOSITION REPORT\r\n\x03";
  EXPECT_EQ(Record(*in.Message), expected);
  EXPECT_EQ(Record(*in.Message), RecordBytes(*PrepareMessage(kDownlink, DecoderSource::AirNavPosfix)));
}

TEST(MessageFromJson, UplinkSquitterTailsTextAndSource) {
  auto m = MessageFromJson(R"({"mode":"2","label":"_d","block_id":"B","ack":"4","tail":"D-ABCD","flight":"X",)"
                           R"("msgno":"M1"})",
                           DecoderSource::Other);
  ASSERT_TRUE(m.Message);
  EXPECT_EQ(m.Message->Uplink, 1);
  EXPECT_EQ(m.Message->FlightNumber, "") << "uplinks carry no flight";
  EXPECT_EQ(m.Message->MessageContent, "") << "absent text";
  EXPECT_EQ(MessageFromJson(R"({"label":"H1","text":""})", DecoderSource::SkySpy).Message->MessageContent, "");
  EXPECT_EQ(m.Message->AircraftReg, ".D-ABCD");
  EXPECT_EQ(PrepareParsedMessage(*m.Message).Header.Source, 2);

  m = MessageFromJson(R"({"mode":"2","label":"SQ","text":"02XS"})", DecoderSource::AirNavPosfix);
  ASSERT_TRUE(m.Message);
  EXPECT_EQ(m.Message->Squitter, 1);
  EXPECT_EQ(m.Message->AircraftReg, ".......");
  EXPECT_EQ(PrepareParsedMessage(*m.Message).Frame(),
            "*\x16\x16\x01"
            "2.......\x15SQ\x02"
            "02XS\x03");

  EXPECT_EQ(MessageFromJson(R"({"label":"H1","tail":".N123AB"})", DecoderSource::SkySpy).Message->AircraftReg,
            ".N123AB");
  EXPECT_EQ(MessageFromJson(R"({"label":"H1","tail":"N12"})", DecoderSource::SkySpy).Message->AircraftReg, "....N12");
  EXPECT_EQ(MessageFromJson(R"({"label":"H1","text":"caf\u00e9 \u20ac \u4e2d \ud83d\ude00"})", DecoderSource::SkySpy)
                .Message->MessageContent,
            "caf\xE9 \x80 ? ?");
}

// The frame text's readers find each field by its place: a field longer
// than its place would move every later one, so it makes the object no
// message. Each field at its width and one past it, in both layouts.
TEST(MessageFromJson, AFieldLongerThanItsPlaceInTheFrameMakesNoMessage) {
  // Each field's names in the two layouts, its width and an ordinary value.
  struct Field {
    const char *Flat, *Nested;
    std::size_t Width;
    const char* Value;
  };
  const Field fields[] = {{"mode", "mode", 1, "2"},        {"tail", "reg", 7, ".D-ABCD"},
                          {"label", "label", 2, "H1"},     {"block_id", "blk_id", 1, "3"},
                          {"msgno", "msg_num", 4, "M12A"}, {"flight", "flight", 6, "XY0123"}};
  for (std::size_t changed = 0; changed < std::size(fields); ++changed) {
    for (const std::size_t length : {fields[changed].Width, fields[changed].Width + 1}) {
      // Digits: a block id of digits is a downlink's, which has all six fields.
      std::string values[std::size(fields)];
      json flat = {{"text", "T"}}, acars = {{"msg_text", "T"}};
      for (std::size_t i = 0; i < std::size(fields); ++i) {
        values[i] = i == changed ? std::string(length, '3') : fields[i].Value;
        flat[fields[i].Flat] = values[i];
        acars[fields[i].Nested] = values[i];
      }
      const std::string frame = "*\x16\x16\x01" + values[0] + values[1] + "\x15" + values[2] + values[3] + "\x02" +
                                values[4] + values[5] + "T\x03";
      for (const json& object : {flat, json{{"vdl2", {{"avlc", {{"acars", acars}}}}}}}) {
        SCOPED_TRACE(object.dump());
        const auto m = MessageFromJson(object.dump(), DecoderSource::AirNavPosfix);
        if (length > fields[changed].Width) {
          EXPECT_EQ(m.Skip, JsonSkip::FieldTooLong);
          EXPECT_FALSE(m.Message);
        } else {
          ASSERT_TRUE(m.Message);
          EXPECT_EQ(PrepareParsedMessage(*m.Message).Frame(), frame);
        }
      }
    }
  }
  EXPECT_STREQ(JsonSkipText(JsonSkip::FieldTooLong), "a field too long for its place");
  // An uplink's frame has no place for a message number or flight: they are
  // not looked at.
  const auto uplink = MessageFromJson(R"({"mode":"2","label":"_d","block_id":"B","tail":".D-ABCD","flight":"XY01234",)"
                                      R"("msgno":"M12AB","text":""})",
                                      DecoderSource::SkySpy);
  ASSERT_TRUE(uplink.Message);
  EXPECT_EQ(uplink.Message->FlightNumber, "");
  // Seven characters of text that are two bytes each in UTF-8 fit the
  // registration's seven places.
  const auto wide =
      MessageFromJson(R"({"label":"H1","tail":"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9"})", DecoderSource::SkySpy);
  ASSERT_TRUE(wide.Message);
  EXPECT_EQ(wide.Message->AircraftReg, std::string(7, '\xE9'));
}

TEST(MessageFromJson, ReassemblyAndWhatIsSkipped) {
  const auto fragment =
      MessageFromJson(R"({"label":"H1","block_id":"2","assstat":"in progress","text":"PART"})", DecoderSource::SkySpy);
  EXPECT_EQ(fragment.Skip, JsonSkip::Partial);
  EXPECT_FALSE(fragment.Message);
  const auto complete = MessageFromJson(R"({"label":"H1","block_id":"2","assstat":"complete","text":"PART WHOLE"})",
                                        DecoderSource::SkySpy);
  ASSERT_TRUE(complete.Message);
  EXPECT_EQ(complete.Message->MessageContent, "PART WHOLE");
  for (const char* state : {"out of sequence", "duplicate"}) {
    EXPECT_EQ(MessageFromJson(std::string(R"({"label":"H1","assstat":")") + state + "\"}", DecoderSource::SkySpy).Skip,
              JsonSkip::Partial);
  }
  EXPECT_EQ(MessageFromJson(R"({"label":"H1","assstat":"skipped"})", DecoderSource::SkySpy).Skip, JsonSkip::None);
  EXPECT_EQ(MessageFromJson(R"({"freq":131.5,"text":"no label"})", DecoderSource::SkySpy).Skip, JsonSkip::NotAcars);
  EXPECT_EQ(MessageFromJson("not json", DecoderSource::SkySpy).Skip, JsonSkip::NotJson);
  EXPECT_EQ(MessageFromJson("[1,2]", DecoderSource::SkySpy).Skip, JsonSkip::NotJson);
  EXPECT_EQ(MessageFromJson(R"({"label":7})", DecoderSource::SkySpy).Skip, JsonSkip::NotAcars);
}

TEST(MessageFromJson, NestedLayout) {
  const auto m = MessageFromJson(
      R"({"vdl2":{"t":{"sec":1765190400,"usec":5},"freq":136975000,"avlc":{"acars":{"err":false,"crc_ok":true,)"
      R"("more":false,"reg":".D-ABCD","mode":"2","label":"H1","blk_id":"3","ack":"!","flight":"XY012A",)"
      R"("msg_num":"M12","msg_num_seq":"A","msg_text":"POSITION REPORT\r\n"}}}})",
      DecoderSource::AirNavPosfix);
  ASSERT_TRUE(m.Message);
  EXPECT_EQ(Record(*m.Message), RecordBytes(*PrepareMessage(kDownlink, DecoderSource::AirNavPosfix)));

  EXPECT_EQ(
      MessageFromJson(R"({"vdl2":{"avlc":{"frame_type":"S","cmd":"Receive Ready"}}})", DecoderSource::SkySpy).Skip,
      JsonSkip::NotAcars);
  EXPECT_EQ(MessageFromJson(R"({"vdl2":{"avlc":{"acars":{"more":true,"label":"H1"}}}})", DecoderSource::SkySpy).Skip,
            JsonSkip::Partial);
  EXPECT_EQ(MessageFromJson(R"({"vdl2":{"avlc":{"acars":{"err":true,"label":"H1"}}}})", DecoderSource::SkySpy).Skip,
            JsonSkip::DecodingError);
  // A failed check is a decoding error too, even where "err" says none.
  EXPECT_EQ(
      MessageFromJson(R"({"vdl2":{"avlc":{"acars":{"err":false,"crc_ok":false,"label":"H1"}}}})", DecoderSource::SkySpy)
          .Skip,
      JsonSkip::DecodingError);
}

TEST(MessageJson, ThereAndBackAgainWithoutTheFinalLineEnd) {
  AcarsMessage m = Parsed(kDownlink);
  const auto back = MessageFromJson(MessageToJsonLine(m, Info()), DecoderSource::AirNavPosfix);
  ASSERT_TRUE(back.Message);
  m.MessageContent = "POSITION REPORT";
  EXPECT_EQ(Record(*back.Message), Record(m));
}

namespace {

// A frame as dumphfdl prints it: the ACARS part, when there is one, under
// hfdl.lpdu.hfnpdu.acars, beside the frame's own fields.
std::string HfdlFrame(const std::string& hfnpdu) {
  return R"({"hfdl":{"app":{"name":"dumphfdl","ver":"1.6.1"},"station":"XX-TEST","t":{"sec":1765190400,)"
         R"("usec":250000},"freq":8927000,"bit_rate":1800,"sig_level":-21.5,"noise_level":-38.2,"slot":"S",)"
         R"("lpdu":{"src":{"type":"Aircraft","id":12,"ac_info":{"icao":"3C4A8F"}},"dst":{"type":"Ground station",)"
         R"("id":2,"name":"Shannon, Ireland"},"type":{"id":13,"name":"Unnumbered data"},"hfnpdu":)" +
         hfnpdu + "}}}";
}

}  // namespace

TEST(MessageFromJson, HfdlLayoutMakesTheSameRecordAsTheDecoderText) {
  const auto m = MessageFromJson(
      HfdlFrame(R"({"type":{"id":255,"name":"Enveloped data"},"flight_id":"XY012A","acars":{"err":false,)"
                R"("crc_ok":true,"more":false,"reg":".D-ABCD","mode":"2","label":"H1","blk_id":"3","ack":"!",)"
                R"("flight":"XY012A","msg_num":"M12","msg_num_seq":"A","msg_text":"POSITION REPORT\r\n"}})"),
      DecoderSource::AirNavPosfix);
  ASSERT_EQ(m.Skip, JsonSkip::None);
  ASSERT_TRUE(m.Message);
  EXPECT_EQ(Record(*m.Message), RecordBytes(*PrepareMessage(kDownlink, DecoderSource::AirNavPosfix)));

  const auto uplink = MessageFromJson(
      HfdlFrame(R"({"type":{"id":255,"name":"Enveloped data"},"acars":{"err":false,"crc_ok":true,"more":false,)"
                R"("reg":"D-ABCD","mode":"2","label":"_d","blk_id":"B","ack":"3","msg_text":""}})"),
      DecoderSource::SkySpy);
  ASSERT_TRUE(uplink.Message);
  EXPECT_EQ(uplink.Message->Uplink, 1);
  EXPECT_EQ(uplink.Message->AircraftReg, ".D-ABCD");
  EXPECT_EQ(uplink.Message->MessageLabel, "_d");
}

// Most HFDL frames are the network's own business, not ACARS messages.
TEST(MessageFromJson, HfdlFramesWithoutAcarsAreNotAcars) {
  const std::vector<std::string> frames = {
      // A ground station's squitter: no lpdu at all.
      R"({"hfdl":{"t":{"sec":1765190400,"usec":0},"freq":8927000,"spdu":{"src":{"type":"Ground station","id":2},)"
      R"("systable_version":51,"gs_status":[{"gs":{"type":"Ground station","id":2},"utc_sync":true}]}}})",
      // A log-on request: an lpdu without hfnpdu.
      R"({"hfdl":{"t":{"sec":1765190400,"usec":0},"freq":8927000,"lpdu":{"src":{"type":"Aircraft","id":0},)"
      R"("dst":{"type":"Ground station","id":2},"type":{"id":159,"name":"Logon request"},"icao":"3C4A8F"}}})",
      // Performance data, a system table, frequency data: an hfnpdu without acars.
      HfdlFrame(R"({"type":{"id":209,"name":"Performance data"},"version":1,"flight_id":"XY012A",)"
                R"("pos":{"lat":51.5,"lon":-20.25},"freq_search_cnt":{"cur_leg":1,"prev_leg":0}})"),
      HfdlFrame(R"({"type":{"id":208,"name":"System table"},"version":51})"),
      HfdlFrame(R"({"type":{"id":213,"name":"Frequency data"},"flight_id":"XY012A"})"),
      // Shapes no decoder sends, safely refused.
      R"({"hfdl":[]})",
      R"({"hfdl":{"lpdu":"x"}})",
      HfdlFrame(R"({"acars":"text"})"),
  };
  for (const std::string& frame : frames) {
    const auto m = MessageFromJson(frame, DecoderSource::SkySpy);
    EXPECT_EQ(m.Skip, JsonSkip::NotAcars) << frame;
    EXPECT_FALSE(m.Message) << frame;
  }
}

TEST(MessageFromJson, HfdlFragmentsAndBadFramesAsForVdl2) {
  EXPECT_EQ(
      MessageFromJson(HfdlFrame(R"({"acars":{"more":true,"label":"H1","msg_text":"PART"}})"), DecoderSource::SkySpy)
          .Skip,
      JsonSkip::Partial);
  EXPECT_EQ(MessageFromJson(HfdlFrame(R"({"acars":{"err":true,"label":"H1"}})"), DecoderSource::SkySpy).Skip,
            JsonSkip::DecodingError);
  EXPECT_EQ(MessageFromJson(HfdlFrame(R"({"acars":{"crc_ok":false,"label":"H1"}})"), DecoderSource::SkySpy).Skip,
            JsonSkip::DecodingError);
  EXPECT_EQ(MessageFromJson(HfdlFrame(R"({"acars":{"crc_ok":true,"label":"H1"}})"), DecoderSource::SkySpy).Skip,
            JsonSkip::None);
  EXPECT_EQ(
      MessageFromJson(HfdlFrame(R"({"acars":{"more":false,"err":false,"label":"H1"}})"), DecoderSource::SkySpy).Skip,
      JsonSkip::None);
}
