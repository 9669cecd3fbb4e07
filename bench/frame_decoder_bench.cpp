// Line framing: how fast line bytes become decoded frames, and the whole
// path from line bytes to a published round.
//
// The input is one 40-rectifier, two-screen capture round as it goes over
// the line (sixteen frames, about 1.6 kB; 1.7 s at 9600 baud). Throughput
// is line bytes per second.
#include <benchmark/benchmark.h>

#include <string>

#include "host/frame_codec.hpp"
#include "support/counting_alloc.hpp"
#include "support/fixtures.hpp"

namespace {

const bench::CaptureRound& round40() {
    static const bench::CaptureRound r = bench::make_capture_round(40, 2);
    return r;
}

// FrameDecoder::push over every byte of the round.
void BM_FrameDecoder(benchmark::State& state) {
    const std::string line = round40().line();
    const auto* bytes = reinterpret_cast<const unsigned char*>(line.data());
    smdhost::FrameDecoder decoder;
    std::size_t frames = 0;
    bench::HeapScope heap;
    for (auto _ : state) {
        for (std::size_t k = 0; k < line.size(); ++k)
            if (decoder.push(bytes[k]) == smdhost::FrameDecoder::Status::frame) ++frames;
        benchmark::DoNotOptimize(decoder.frame());
    }
    if (frames != state.iterations() * round40().frames.size())
        state.SkipWithError("the decoder did not return every frame of the round");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size()));
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(heap.allocations()),
                                                  benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FrameDecoder);

// PMBusProtocol::process: framing, the capture round and RoundDone, from
// the line bytes of one round to its publication (mode 1).
void BM_LineToPublishedRound(benchmark::State& state) {
    std::string line = round40().line();
    auto dev = bench::make_device(1);
    bench::QuietOutput quiet;
    auto* bytes = reinterpret_cast<unsigned char*>(&line[0]);
    const auto len = static_cast<unsigned>(line.size());
    dev->process(bytes, len);  // warm-up: first-use buffers, first-round map entries
    bench::HeapScope heap;
    for (auto _ : state) benchmark::DoNotOptimize(dev->process(bytes, len));
    if (!bench::publishes_truth(*dev, round40())) state.SkipWithError("the round was not published");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size()));
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(heap.allocations()),
                                                  benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LineToPublishedRound);

}  // namespace
