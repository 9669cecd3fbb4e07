// Allocation and memory budgets of the capture device, and the soundness of
// what the benchmarks measure. Counts only, never times.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host_event.hpp"
#include "plugin/get_providers.hpp"
#include "support/counting_alloc.hpp"
#include "support/fixtures.hpp"

namespace {

constexpr std::int64_t kDeviceBudget = 16 * 1024;  // bytes per configured device

// A device started as the host starts it; heap is what it holds afterwards.
struct StartUp {
    SMDSPDevice* device = nullptr;
    std::int64_t heap = 0;
};

StartUp start(const Json::Value& config) {
    bench::QuietOutput quiet;
    bench::HeapScope held;
    StartUp s;
    {
        auto providers = get_providers();
        s.device = dynamic_cast<SMDSPDeviceProvider&>(*providers.at(0)).create();
    }
    s.device->data_id = bench::kDataId;
    s.device->InitSetting(config);
    s.heap = held.live_bytes();
    return s;
}

TEST(DeviceMemory, DefaultConfigurationFitsTheBudgetAndIsReleased) {
    delete start(Json::Value()).device;  // first use of the libraries' own state
    bench::HeapScope scope;
    for (const Json::Value& config : {Json::Value(), bench::mode_config(1), bench::mode_config(2)}) {
        StartUp s = start(config);
        EXPECT_GE(s.heap, static_cast<std::int64_t>(sizeof(Tarnel_BRELM_PXR52_419)));
        EXPECT_LE(s.heap, kDeviceBudget) << config.toStyledString();
        delete s.device;
    }
    EXPECT_EQ(scope.live_bytes(), 0);
}

TEST(DeviceMemory, LargeConfigurationsAreHeldByTheDeviceAndReleasedWithIt) {
    delete start(Json::Value()).device;
    bench::HeapScope scope;
    {
        StartUp s = start(bench::mode5_config(200));
        auto& dev = dynamic_cast<Tarnel_BRELM_PXR52_419&>(*s.device);
        EXPECT_EQ(dev.up_map.size(), 200u);
        EXPECT_EQ(dev.low_map.size(), 200u);
        EXPECT_GT(s.heap, kDeviceBudget);  // 400 rules cannot fit: they were counted
        delete s.device;
    }
    {
        Json::Value config;
        config["appSetting"]["b_mode"] = 1;
        bench::IniDirectory ini(bench::kDataId, bench::ai_ini_text(200));
        StartUp s = start(config);
        auto& dev = dynamic_cast<Tarnel_BRELM_PXR52_419&>(*s.device);
        EXPECT_EQ(dev.ai_map.size(), 200u);
        EXPECT_EQ(dev.alarm_map.size(), 4u);
        delete s.device;
    }
    EXPECT_EQ(scope.live_bytes(), 0);
}

// What steady rounds cost the heap, measured outside the quiet scope so
// that failures are printed.
struct RoundCosts {
    std::vector<int> published;               // per round
    std::vector<bool> truth;                  // per round: record as reported
    std::vector<std::uint64_t> allocations;   // per round
    std::vector<std::int64_t> growth;         // live bytes after - before, per round
    std::uint64_t frame_allocations = 0;      // all frames that published nothing
};

RoundCosts steady_rounds(int mode, int rectifiers, int rounds) {
    const bench::CaptureRound round = bench::make_capture_round(rectifiers, 2);
    auto dev = bench::make_device(mode);
    RoundCosts costs;
    bench::QuietOutput quiet;
    bench::play(*dev, round);
    if (mode == 2) bench::prime_mode2(*dev);
    bench::play(*dev, round);
    for (int r = 0; r < rounds; ++r) {
        bench::HeapScope heap;
        int published = 0;
        for (const bench::Frame& f : round.frames) {
            bench::HeapScope frame;
            const int result = dev->deliver_frame(f.decoded.data(), static_cast<int>(f.decoded.size()));
            if (result == 0)
                ++published;
            else
                costs.frame_allocations += frame.allocations();
        }
        const std::uint64_t allocations = heap.allocations();
        const std::int64_t growth = heap.live_bytes();
        costs.published.push_back(published);
        costs.truth.push_back(bench::publishes_truth(*dev, round));
        costs.allocations.push_back(allocations);
        costs.growth.push_back(growth);
    }
    return costs;
}

class SteadyRound : public ::testing::TestWithParam<std::pair<int, int>> {};

// Every round publishes once, as the plant reported it; only the frame that
// publishes allocates; a round leaves the heap as it found it and costs the
// same as the round before (a per-round leak or a table growing every round
// shows here long before it shows on a field unit).
TEST_P(SteadyRound, PublishesEveryRoundWithoutGrowingTheHeap) {
    const auto [mode, rectifiers] = GetParam();
    const RoundCosts c = steady_rounds(mode, rectifiers, 3);
    for (std::size_t r = 0; r < c.published.size(); ++r) {
        SCOPED_TRACE("round " + std::to_string(r));
        EXPECT_EQ(c.published[r], 1);
        EXPECT_TRUE(c.truth[r]);
        EXPECT_EQ(c.growth[r], 0);
        EXPECT_EQ(c.allocations[r], c.allocations[0]);
    }
    EXPECT_EQ(c.frame_allocations, 0u);
}

INSTANTIATE_TEST_SUITE_P(ModesAndSizes, SteadyRound,
                         ::testing::Values(std::make_pair(1, 1), std::make_pair(1, 40),
                                           std::make_pair(2, 1), std::make_pair(2, 40),
                                           std::make_pair(5, 40), std::make_pair(0, 40)),
                         [](const auto& info) {
                             return "mode" + std::to_string(info.param.first) + "_rect" +
                                    std::to_string(info.param.second);
                         });

// The mode-2 benchmark is meant to queue every rule: after priming, each id
// the rules look up (the communication alarm's included) is raised or
// cleared exactly once per round, and the mode-5 one queues its rules.
TEST(BenchRounds, PrimedModesQueueTheirRules) {
    const bench::CaptureRound round = bench::make_capture_round(40, 2);
    for (int mode : {2, 5}) {
        auto dev = bench::make_device(mode);
        smdhost::CallLog log;
        std::size_t levels = 0;
        {
            bench::QuietOutput quiet;
            bench::play(*dev, round);
            if (mode == 2) levels = bench::prime_mode2(*dev);
            dev->host_listener = &log;
            bench::play(*dev, round);
        }
        const auto alarms = log.of(smdhost::HostEvent::Kind::alarm);
        if (mode == 2) {
            // 40 modules x 3 ids, 5 AC, 6 DC voltage, 2 x 8 fuses, 4 battery
            // fuses, the communication alarm.
            EXPECT_EQ(levels, 152u);
            EXPECT_EQ(alarms.size(), levels);
        } else {
            std::size_t signal_rules = 0;
            for (const auto& e : alarms) signal_rules += e.key == "dc_v" || e.key == "load_i" || e.key == "batt_t";
            EXPECT_EQ(signal_rules, static_cast<std::size_t>(bench::kMode5Rules));
        }
    }
}

}  // namespace
