// The router hands every text and object to its tap as it came, before it
// prepares anything: the capture sees what the inputs received.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "router/message_router.h"
#include "support/router_fakes.h"

namespace {

class Recorder : public ArrivalTap {
 public:
  std::vector<std::pair<std::string, std::string>> seen;
  void TextArrived(const std::string& input, std::string_view text) override {
    seen.emplace_back(input, "text " + std::string(text));
  }
  void ObjectArrived(const std::string& input, std::string_view object) override {
    seen.emplace_back(input, "object " + std::string(object));
  }
};

}  // namespace

TEST(ArrivalTap, SeesEveryTextAndObjectAsItCameWithItsInputsName) {
  Observer events;  // forwards at once, logs nothing
  events.logOn = false;
  events.promiseFlush = false;
  MessageRouter router(events);
  const std::size_t skyspy = router.AddInput("SkySpy", DecoderSource::SkySpy);
  const std::size_t json = router.AddInput("udp:5550", DecoderSource::AirNavPosfix);
  router.Submit("too short", skyspy);  // filtered, yet captured
  Recorder tap;
  router.SetTap(&tap);
  router.Submit("", skyspy);
  router.Submit("ACARS mode: 2 \xE9\r\n", skyspy);
  router.ObjectReceived(R"({"no":"label"})", json);
  router.SetTap(nullptr);
  router.Submit("after", skyspy);
  EXPECT_EQ(tap.seen, (std::vector<std::pair<std::string, std::string>>{
                          {"SkySpy", "text "},
                          {"SkySpy", "text ACARS mode: 2 \xE9\r\n"},
                          {"udp:5550", R"(object {"no":"label"})"},
                      }));
}
