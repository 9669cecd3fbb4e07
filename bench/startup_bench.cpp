// Start-up of one device as the host does it: get_providers, the
// provider's create(), data id, InitSetting; then the device's memory.
//
// Configurations: the default (mode 1, no threshold file), 200 mode-5
// items (400 signal rules), and mode 1 with a threshold file of 200 "AI"
// keys. Counters:
//   heap_bytes    heap the device holds after InitSetting, its own object
//                 included (bytes requested, allocator overhead excluded)
//   object_bytes  sizeof the device object
//   allocs        allocations of one start-up (the provider's included)
// The device is destroyed through its virtual destructor in each iteration;
// a start-up that leaves memory behind fails the benchmark.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "device/tarnel_brelm_pxr52_419.hpp"
#include "plugin/get_providers.hpp"
#include "support/counting_alloc.hpp"
#include "support/fixtures.hpp"

namespace {

enum Config { kDefault, kMode5Large, kMode1LargeIni };
constexpr int kLargeItems = 200;

struct Started {
    SMDSPDevice* device = nullptr;
    std::int64_t heap_bytes = 0;
};

// One start-up; the provider is dropped as the host drops it after create().
Started start(const Json::Value& config) {
    bench::HeapScope held;
    Started s;
    {
        auto providers = get_providers();
        auto* provider = dynamic_cast<SMDSPDeviceProvider*>(providers.at(0).get());
        s.device = provider->create();
    }
    s.device->data_id = bench::kDataId;
    s.device->InitSetting(config);
    s.heap_bytes = held.live_bytes();
    return s;
}

void BM_StartUp(benchmark::State& state, Config kind) {
    Json::Value config;
    std::unique_ptr<bench::IniDirectory> ini;
    switch (kind) {
        case kDefault: break;
        case kMode5Large: config = bench::mode5_config(kLargeItems); break;
        case kMode1LargeIni:
            config["appSetting"]["b_mode"] = 1;
            ini = std::make_unique<bench::IniDirectory>(bench::kDataId, bench::ai_ini_text(kLargeItems));
            break;
    }
    bench::QuietOutput quiet;
    delete start(config).device;  // warm-up: the libraries' first-use state
    std::int64_t heap_bytes = 0;
    bool leaked = false;
    bench::HeapScope heap;
    for (auto _ : state) {
        const bench::HeapScope one;
        Started s = start(config);
        heap_bytes = s.heap_bytes;
        delete s.device;
        leaked = leaked || one.live_bytes() != 0;
    }
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(heap.allocations()),
                                                  benchmark::Counter::kAvgIterations);
    state.counters["heap_bytes"] = static_cast<double>(heap_bytes);
    state.counters["object_bytes"] = static_cast<double>(sizeof(Tarnel_BRELM_PXR52_419));
    if (leaked) state.SkipWithError("a start-up left memory behind");
}
BENCHMARK_CAPTURE(BM_StartUp, default_config, kDefault)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_StartUp, mode5_200_items, kMode5Large)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_StartUp, mode1_ini_200_ai, kMode1LargeIni)->Unit(benchmark::kMicrosecond);

}  // namespace
