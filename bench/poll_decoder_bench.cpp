// Active-mode response decoders, one benchmark each, on replies of a
// 40-rectifier, two-screen plant in the layouts a poll receives (command
// group 1: no AC screen-count byte; DC replies with a screen count).
//
// Each decoder is called where the poll sequencer calls it: the AC decoders
// after the data flag, the rectifier decoders at the data flag, the DC
// decoders after the flag and the screen count, the second-screen ones
// after what the first-screen one consumed. Their log lines are formatted
// and dropped (standard output goes to /dev/null while they run).
#include <benchmark/benchmark.h>

#include "device/pxr52_419.hpp"
#include "support/counting_alloc.hpp"
#include "support/fixtures.hpp"
#include "tools/plant/plant_model.hpp"
#include "tools/plant/reply_encoders.hpp"

namespace {

using Decoder = int (PowerDevice::*)(const unsigned char*, int);
using Encoder = plant::Bytes (*)(const plant::PlantState&, const plant::ReplyLayout&);

enum class Start {
    after_flag,         // AC replies, command group 1
    at_flag,            // rectifier replies
    after_screen_count, // DC replies, first screen
    second_screen,      // DC replies, after the first screen's bytes
};

struct PollCase {
    Decoder decode;
    Encoder encode;
    plant::NumberFormat format;
    Start start;
    Decoder first_screen;  // second_screen only: the decoder of screen 0
};

const plant::PlantState& plant_state() {
    static const plant::Plant site = [] {
        plant::Plant p(plant::PlantShape::typical(40, 2), 1);
        p.event_rate = 0.0;
        p.step(0.0);
        return p;
    }();
    return site.state();
}

void BM_PollDecoder(benchmark::State& state, PollCase c) {
    plant::ReplyLayout layout;
    layout.format = c.format;
    layout.ac_screen_byte = false;
    layout.dc_layout = 2;
    const plant::Bytes info = c.encode(plant_state(), layout);

    pxr52_419 dev;
    dev.data_id = bench::kDataId;
    bench::QuietOutput quiet;
    // The switch and alarm decoders walk the rc_count of the analog reply.
    const plant::Bytes rect = plant::rect_analog_info(plant_state(), layout);
    dev.parse41_42(rect.data(), static_cast<int>(rect.size()));

    int offset = 0;
    switch (c.start) {
        case Start::after_flag: offset = 1; break;
        case Start::at_flag: offset = 0; break;
        case Start::after_screen_count: offset = 2; break;
        case Start::second_screen: {
            const int first = (dev.*c.first_screen)(info.data() + 2, static_cast<int>(info.size()) - 2);
            if (first < 0) {
                state.SkipWithError("the first screen's decoder refused the reply");
                return;
            }
            offset = 2 + first;
            break;
        }
    }
    const unsigned char* p = info.data() + offset;
    const int len = static_cast<int>(info.size()) - offset;
    int refused = 0;
    bench::HeapScope heap;
    for (auto _ : state) refused += (dev.*c.decode)(p, len) < 0;
    if (refused != 0) state.SkipWithError("the decoder refused the plant's reply");
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(heap.allocations()),
                                                  benchmark::Counter::kAvgIterations);
    state.counters["info_bytes"] = static_cast<double>(len);
}

using plant::NumberFormat;
constexpr NumberFormat kFl = NumberFormat::floating;
constexpr NumberFormat kFx = NumberFormat::fixed;

BENCHMARK_CAPTURE(BM_PollDecoder, parse40_41, PollCase{&PowerDevice::parse40_41, plant::ac_analog_info, kFl, Start::after_flag, nullptr});
BENCHMARK_CAPTURE(BM_PollDecoder, parse40_42, PollCase{&PowerDevice::parse40_42, plant::ac_analog_info, kFx, Start::after_flag, nullptr});
BENCHMARK_CAPTURE(BM_PollDecoder, parse40_43, PollCase{&PowerDevice::parse40_43, plant::ac_switch_info, kFx, Start::after_flag, nullptr});
BENCHMARK_CAPTURE(BM_PollDecoder, parse40_44, PollCase{&PowerDevice::parse40_44, plant::ac_alarm_info, kFx, Start::after_flag, nullptr});
BENCHMARK_CAPTURE(BM_PollDecoder, parse41_41, PollCase{&PowerDevice::parse41_41, plant::rect_analog_info, kFl, Start::at_flag, nullptr});
BENCHMARK_CAPTURE(BM_PollDecoder, parse41_42, PollCase{&PowerDevice::parse41_42, plant::rect_analog_info, kFx, Start::at_flag, nullptr});
BENCHMARK_CAPTURE(BM_PollDecoder, parse41_43, PollCase{&PowerDevice::parse41_43, plant::rect_switch_info, kFx, Start::at_flag, nullptr});
BENCHMARK_CAPTURE(BM_PollDecoder, parse41_44, PollCase{&PowerDevice::parse41_44, plant::rect_alarm_info, kFx, Start::at_flag, nullptr});
BENCHMARK_CAPTURE(BM_PollDecoder, parse42_41, PollCase{&PowerDevice::parse42_41, plant::dc_analog_info, kFl, Start::after_screen_count, nullptr});
BENCHMARK_CAPTURE(BM_PollDecoder, parse42_41_2, PollCase{&PowerDevice::parse42_41_2, plant::dc_analog_info, kFl, Start::second_screen, &PowerDevice::parse42_41});
BENCHMARK_CAPTURE(BM_PollDecoder, parse42_42, PollCase{&PowerDevice::parse42_42, plant::dc_analog_info, kFx, Start::after_screen_count, nullptr});
BENCHMARK_CAPTURE(BM_PollDecoder, parse42_42_2, PollCase{&PowerDevice::parse42_42_2, plant::dc_analog_info, kFx, Start::second_screen, &PowerDevice::parse42_42});
BENCHMARK_CAPTURE(BM_PollDecoder, parse42_44, PollCase{&PowerDevice::parse42_44, plant::dc_alarm_info, kFx, Start::after_screen_count, nullptr});
BENCHMARK_CAPTURE(BM_PollDecoder, parse42_44_2, PollCase{&PowerDevice::parse42_44_2, plant::dc_alarm_info, kFx, Start::second_screen, &PowerDevice::parse42_44});

}  // namespace
