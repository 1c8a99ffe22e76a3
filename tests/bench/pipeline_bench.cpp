// The pipeline's speed on one core: normalise, parse, build the frame text and
// the header for every text of the sample feed, beside a baseline that only
// copies the same bytes (the memory-bandwidth limit of the same loop).

#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "feed.h"
#include "pipeline/forwarding.h"

namespace {

std::vector<std::string> SampleTexts() {
  std::ifstream in(BRIDGE_SAMPLE_FEED, std::ios::binary);
  return SplitFeed(std::string(std::istreambuf_iterator<char>(in), {}));
}

const std::vector<std::string>& Texts() {
  static const std::vector<std::string> texts = SampleTexts();
  return texts;
}

std::int64_t FeedBytes() {
  std::int64_t n = 0;
  for (const auto& t : Texts()) n += static_cast<std::int64_t>(t.size());
  return n;
}

// As the router runs it: one message's buffers serve every text.
void BM_Pipeline(benchmark::State& state) {
  ForwardedMessage forwarded;
  for (auto _ : state) {
    for (const std::string& text : Texts()) {
      PrepareMessage(text, DecoderSource::AirNavPosfix, forwarded);
      benchmark::DoNotOptimize(forwarded.Record.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(Texts().size()));
  state.SetBytesProcessed(state.iterations() * FeedBytes());
}
BENCHMARK(BM_Pipeline);

void BM_CopyBaseline(benchmark::State& state) {
  std::string out(1 << 16, '\0');
  for (auto _ : state) {
    for (const std::string& text : Texts()) {
      std::memcpy(out.data(), text.data(), text.size());
      benchmark::DoNotOptimize(out.data());
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(Texts().size()));
  state.SetBytesProcessed(state.iterations() * FeedBytes());
}
BENCHMARK(BM_CopyBaseline);

// The same, each text copied into a string of its own, as the pipeline takes
// every text into memory of its own.
void BM_CopyIntoNewString(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string& text : Texts()) {
      std::string copy(text);
      benchmark::DoNotOptimize(copy.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(Texts().size()));
  state.SetBytesProcessed(state.iterations() * FeedBytes());
}
BENCHMARK(BM_CopyIntoNewString);

}  // namespace

BENCHMARK_MAIN();
