// The README's worked example for client authors is what the program and
// the viewer really produce for its decoder text.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "pipeline/forwarding.h"
#include "pipeline/frame_reader.h"

namespace {

std::string Readme() {
  std::ifstream in(BRIDGE_README, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The indented lines from the one that starts with `first`, without their
// indent, each ended by CR LF.
std::string IndentedBlock(const std::string& readme, const std::string& first) {
  std::istringstream lines(readme.substr(readme.find("    " + first)));
  std::string text;
  for (std::string line; std::getline(lines, line) && line.rfind("    ", 0) == 0;) text += line.substr(4) + "\r\n";
  return text;
}

// The fenced block whose first line is `first`, with LF line ends.
std::string FencedBlock(const std::string& readme, const std::string& first) {
  const auto start = readme.find("```\n" + first);
  if (start == std::string::npos) return {};
  const auto end = readme.find("```", start + 4);
  return readme.substr(start + 4, end - start - 4);
}

}  // namespace

TEST(Readme, WorkedExampleMatchesThePipelineAndTheViewer) {
  const std::string readme = Readme();
  ASSERT_FALSE(readme.empty()) << BRIDGE_README;
  const std::string text = IndentedBlock(readme, "ACARS mode: 2 Aircraft reg: .D-ABCD");
  ASSERT_NE(text.find("POSITION REPORT"), std::string::npos);

  const auto forwarded = PrepareMessage(text, DecoderSource::AirNavPosfix);
  ASSERT_TRUE(forwarded);
  const std::string record = RecordBytes(*forwarded);
  const std::string printed = DescribeRecord({forwarded->Header, std::string(forwarded->Frame())}, 0) + HexDump(record);
  EXPECT_EQ(FencedBlock(readme, "#0 source 3"), printed);
  EXPECT_NE(readme.find("arrives as these " + std::to_string(record.size()) + " bytes"), std::string::npos);
}
