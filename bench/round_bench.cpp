// A whole capture round: the sixteen frames of one interrogation (two DC
// screens, 1 or 40 rectifiers) through process_payload, the last of them
// publishing through RoundDone with the rules and checks of the threshold
// mode, against a host layer that records nothing.
//
// Arguments: threshold mode, rectifiers.
//   mode 1: mode-1 power and model rules, no "AI" entry;
//   mode 2: every level the rules look up set (every rule queued);
//   mode 5: a few signal rules with values present;
//   mode 0: the model rules of every other mode.
// "allocs" counts the allocations of one round (all of them in the frame
// that publishes it: the host's queued rules and their texts); "held_bytes"
// is the heap the device holds in that steady state: its object, the
// host's maps and the capacity of its rule list (not the host's frame
// decoder, about 2 kB made on the first line bytes: frames come decoded).
#include <benchmark/benchmark.h>

#include "support/counting_alloc.hpp"
#include "support/fixtures.hpp"

namespace {

constexpr int kScreens = 2;
constexpr int kWarmUpRounds = 2;

// A device in the steady state of `mode`: rounds already published, so the
// host maps hold every id the rules look up and buffers have their size.
std::unique_ptr<Tarnel_BRELM_PXR52_419> steady_device(int mode, const bench::CaptureRound& round) {
    auto dev = bench::make_device(mode);
    bench::QuietOutput quiet;
    bench::play(*dev, round);
    if (mode == 2) bench::prime_mode2(*dev);
    for (int k = 0; k < kWarmUpRounds; ++k) bench::play(*dev, round);
    return dev;
}

void BM_Round(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    const int rectifiers = static_cast<int>(state.range(1));
    const bench::CaptureRound round = bench::make_capture_round(rectifiers, kScreens);
    const bench::HeapScope held;
    auto dev = steady_device(mode, round);
    const std::int64_t held_bytes = held.live_bytes();
    bench::QuietOutput quiet;
    std::int64_t published = 0;
    bench::HeapScope heap;
    for (auto _ : state) published += bench::play(*dev, round);
    if (published != state.iterations() || !bench::publishes_truth(*dev, round))
        state.SkipWithError("a round was not published as the plant reported it");
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(heap.allocations()),
                                                  benchmark::Counter::kAvgIterations);
    state.counters["frames"] = static_cast<double>(round.frames.size());
    state.counters["held_bytes"] = static_cast<double>(held_bytes);
}
BENCHMARK(BM_Round)
    ->ArgNames({"mode", "rect"})
    ->Args({1, 1})
    ->Args({1, 40})
    ->Args({2, 1})
    ->Args({2, 40})
    ->Args({5, 1})
    ->Args({5, 40})
    ->Args({0, 40})
    ->Unit(benchmark::kMicrosecond);

// RoundDone alone on the published record: publish, Reset, the rules, the
// mode's checks, the batch and the history; the share of a round that is
// evaluation rather than decoding.
void BM_RoundDone(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    const int rectifiers = static_cast<int>(state.range(1));
    const bench::CaptureRound round = bench::make_capture_round(rectifiers, kScreens);
    auto dev = steady_device(mode, round);
    bench::QuietOutput quiet;
    bench::HeapScope heap;
    for (auto _ : state) dev->RoundDone();
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(heap.allocations()),
                                                  benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_RoundDone)
    ->ArgNames({"mode", "rect"})
    ->Args({1, 40})
    ->Args({2, 40})
    ->Args({5, 40})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
