// Speed of the A-law buffer operations beside spandsp's g711_encode / g711_decode on the same
// audio: one 30 ms frame (what every packet costs) and one second. Prints Google Benchmark's
// table, then ns per sample for each pair and the ratio ours / spandsp.
//
// The comparison is not quite like for like: ours takes and returns byte strings and
// allocates its result on every call, as the callers use it; spandsp writes into a buffer
// that the benchmark owns.
#include <spandsp.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "media/DTMF.h"
#include "media/G711.h"

namespace {

constexpr std::size_t kFrameSamples = 240;    // 30 ms
constexpr std::size_t kSecondSamples = 8000;  // 1 s

// Speech-like test audio across the whole range: a DTMF tone with a deterministic
// pseudo-random component, so that every segment of the code is used.
std::vector<std::int16_t> TestAudio(std::size_t samples) {
  const std::string tone = media::DTMFTone(5, static_cast<std::int32_t>(2 * samples));
  std::vector<std::int16_t> audio(samples);
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < samples; ++i) {
    state = state * 1664525u + 1013904223u;
    const int toneSample = static_cast<std::int16_t>(
        static_cast<std::uint16_t>(static_cast<unsigned char>(tone[2 * i]) |
                                   (static_cast<unsigned char>(tone[2 * i + 1]) << 8)));
    const int noise = static_cast<int>(state >> 16) - 32768;
    const int mixed = toneSample + noise / 8;
    audio[i] = static_cast<std::int16_t>(mixed > 32767 ? 32767 : (mixed < -32768 ? -32768 : mixed));
  }
  return audio;
}

std::string AsBytes(const std::vector<std::int16_t>& audio) {
  std::string bytes;
  for (const std::int16_t sample : audio) {
    const auto bits = static_cast<std::uint16_t>(sample);
    bytes.push_back(static_cast<char>(bits & 0xFF));
    bytes.push_back(static_cast<char>(bits >> 8));
  }
  return bytes;
}

void SetSampleCounter(benchmark::State& state, std::size_t samples) {
  state.counters["ns/sample"] = benchmark::Counter(
      static_cast<double>(samples) * 1e-9,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void OursEncode(benchmark::State& state) {
  const auto samples = static_cast<std::size_t>(state.range(0));
  const std::string linear = AsBytes(TestAudio(samples));
  for (auto _ : state) {
    std::string alaw = media::ALawEncode(linear);
    benchmark::DoNotOptimize(alaw.data());
    benchmark::ClobberMemory();
  }
  SetSampleCounter(state, samples);
}

void SpandspEncode(benchmark::State& state) {
  const auto samples = static_cast<std::size_t>(state.range(0));
  const std::vector<std::int16_t> linear = TestAudio(samples);
  std::vector<std::uint8_t> alaw(samples);
  g711_state_t* codec = g711_init(nullptr, G711_ALAW);
  for (auto _ : state) {
    g711_encode(codec, alaw.data(), linear.data(), static_cast<int>(samples));
    benchmark::DoNotOptimize(alaw.data());
    benchmark::ClobberMemory();
  }
  g711_free(codec);
  SetSampleCounter(state, samples);
}

void OursDecode(benchmark::State& state) {
  const auto samples = static_cast<std::size_t>(state.range(0));
  const std::string alaw = media::ALawEncode(AsBytes(TestAudio(samples)));
  for (auto _ : state) {
    std::string linear = media::ALawDecode(alaw);
    benchmark::DoNotOptimize(linear.data());
    benchmark::ClobberMemory();
  }
  SetSampleCounter(state, samples);
}

void SpandspDecode(benchmark::State& state) {
  const auto samples = static_cast<std::size_t>(state.range(0));
  const std::string encoded = media::ALawEncode(AsBytes(TestAudio(samples)));
  const std::vector<std::uint8_t> alaw(encoded.begin(), encoded.end());
  std::vector<std::int16_t> linear(samples);
  g711_state_t* codec = g711_init(nullptr, G711_ALAW);
  for (auto _ : state) {
    g711_decode(codec, linear.data(), alaw.data(), static_cast<int>(samples));
    benchmark::DoNotOptimize(linear.data());
    benchmark::ClobberMemory();
  }
  g711_free(codec);
  SetSampleCounter(state, samples);
}

BENCHMARK(OursEncode)->Arg(kFrameSamples)->Arg(kSecondSamples);
BENCHMARK(SpandspEncode)->Arg(kFrameSamples)->Arg(kSecondSamples);
BENCHMARK(OursDecode)->Arg(kFrameSamples)->Arg(kSecondSamples);
BENCHMARK(SpandspDecode)->Arg(kFrameSamples)->Arg(kSecondSamples);

// Keeps Google Benchmark's console table and notes ns per sample of every plain run.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& reports) override {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& run : reports) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const auto counter = run.counters.find("ns/sample");
      if (counter == run.counters.end()) continue;
      const std::string name = run.benchmark_name();
      // The counter holds seconds per 1e-9 sample, that is nanoseconds per sample.
      nsPerSample_[name] = counter->second.value;
    }
  }

  void PrintSummary() const {
    std::printf("\n%-8s %-6s %12s %12s %8s\n", "", "audio", "ours ns/smp", "spandsp", "ratio");
    for (const char* operation : {"Encode", "Decode"}) {
      for (const std::size_t samples : {kFrameSamples, kSecondSamples}) {
        const std::string suffix = std::string(operation) + "/" + std::to_string(samples);
        const auto ours = nsPerSample_.find("Ours" + suffix);
        const auto theirs = nsPerSample_.find("Spandsp" + suffix);
        if (ours == nsPerSample_.end() || theirs == nsPerSample_.end()) continue;
        std::printf("%-8s %-6s %12.3f %12.3f %8.2f\n", operation,
                    samples == kFrameSamples ? "30 ms" : "1 s", ours->second, theirs->second,
                    ours->second / theirs->second);
      }
    }
    std::printf("goals: encode <= 0.5 ns/sample, decode <= 0.3 ns/sample\n");
  }

 private:
  std::map<std::string, double> nsPerSample_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
