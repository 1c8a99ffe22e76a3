#include "pipeline/acars_frame.h"

namespace REZUZ2ARI {
namespace {
constexpr char kSOH = 0x01;
constexpr char kSTX = 0x02;
constexpr char kETX = 0x03;
constexpr char kNAK = 0x15;
constexpr char kSYN = 0x16;
}  // namespace

std::string BuildAcarsFrame(const AcarsMessage& m) {
  std::string frame;
  AppendAcarsFrame(m, frame);
  return frame;
}

void AppendAcarsFrame(const AcarsMessage& m, std::string& frame) {
  frame.reserve(frame.size() + 7 + m.Mode.size() + m.AircraftReg.size() + m.MessageLabel.size() + m.BlockID.size() +
                m.MessageNumber.size() + m.FlightNumber.size() + m.MessageContent.size());
  frame += '*';
  frame += kSYN;
  frame += kSYN;
  frame += kSOH;
  frame += m.Mode;
  frame += m.AircraftReg;
  frame += kNAK;
  frame += m.MessageLabel;
  frame += m.BlockID;
  frame += kSTX;
  frame += m.MessageNumber;
  frame += m.FlightNumber;
  frame += m.MessageContent;
  frame += kETX;
}

}  // namespace REZUZ2ARI
