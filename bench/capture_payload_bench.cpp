// process_payload of the capture device, one benchmark per kind of frame of
// a 40-rectifier, two-screen capture round, frames from the plant model.
//
// Each iteration hands the device one frame in the state it meets it in a
// round: for a response, the round open and its command awaited; for a
// command, the round open. No frame here completes a round (the mask is
// cleared before the DC alarm response), so "allocs" must be 0 for every
// kind: the frame path allocates nothing.
#include <benchmark/benchmark.h>

#include "support/counting_alloc.hpp"
#include "support/fixtures.hpp"

namespace {

// Delivers `frame` as the protocol engine does, without the engine's own
// bookkeeping: payload points at it during process_payload.
int payload(Tarnel_BRELM_PXR52_419& dev, const bench::Bytes& frame) {
    dev.payload = const_cast<unsigned char*>(frame.data());
    const int r = dev.process_payload();
    dev.payload = nullptr;
    return r;
}

void BM_CaptureResponse(benchmark::State& state, unsigned char cid1, unsigned char cid2) {
    const bench::CommandPair pair = bench::make_command_pair(cid1, cid2, 40, 2);
    auto dev = bench::make_device(1);
    // The rectifier switch and alarm replies are checked against the
    // rectifier count of the analog reply, taken earlier in the round.
    const bench::CommandPair analog = bench::make_command_pair(0x41, 0x42, 40, 2);
    dev->round_active = 1;
    dev->current_cmd = dev->command_for(0x41, 0x42);
    payload(*dev, analog.response.decoded);

    const int code = dev->command_for(cid1, cid2);
    int refused = 0;
    bench::HeapScope heap;
    for (auto _ : state) {
        dev->round_active = 1;
        dev->round_mask = 0;
        dev->current_cmd = code;
        payload(*dev, pair.response.decoded);
        // Accepted: the command is no longer awaited.
        refused += dev->current_cmd != 0;
    }
    if (refused != 0) state.SkipWithError("the decoder refused the plant's reply");
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(heap.allocations()),
                                                  benchmark::Counter::kAvgIterations);
    state.counters["info_bytes"] = static_cast<double>(pair.response.decoded.size() - 6);
}
BENCHMARK_CAPTURE(BM_CaptureResponse, ac_analog_40_42, 0x40, 0x42);
BENCHMARK_CAPTURE(BM_CaptureResponse, ac_switch_40_43, 0x40, 0x43);
BENCHMARK_CAPTURE(BM_CaptureResponse, ac_alarm_40_44, 0x40, 0x44);
BENCHMARK_CAPTURE(BM_CaptureResponse, rect_analog_41_42, 0x41, 0x42);
BENCHMARK_CAPTURE(BM_CaptureResponse, rect_switch_41_43, 0x41, 0x43);
BENCHMARK_CAPTURE(BM_CaptureResponse, rect_alarm_41_44, 0x41, 0x44);
BENCHMARK_CAPTURE(BM_CaptureResponse, dc_analog_42_42, 0x42, 0x42);
BENCHMARK_CAPTURE(BM_CaptureResponse, dc_alarm_42_44, 0x42, 0x44);
BENCHMARK_CAPTURE(BM_CaptureResponse, dc_param_42_47, 0x42, 0x47);

// Command frames inside an open round: 40/42 restarts the round (zeroes the
// capture record), any other command is only noted.
void BM_CaptureCommand(benchmark::State& state, unsigned char cid1, unsigned char cid2) {
    const bench::CommandPair pair = bench::make_command_pair(cid1, cid2, 40, 2);
    auto dev = bench::make_device(1);
    bench::HeapScope heap;
    for (auto _ : state) {
        dev->round_active = 1;
        dev->round_mask = 0;
        payload(*dev, pair.command.decoded);
    }
    if (dev->round_active != 1) state.SkipWithError("the command closed the round");
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(heap.allocations()),
                                                  benchmark::Counter::kAvgIterations);
}
BENCHMARK_CAPTURE(BM_CaptureCommand, round_start_40_42, 0x40, 0x42);
BENCHMARK_CAPTURE(BM_CaptureCommand, other_41_43, 0x41, 0x43);

}  // namespace
