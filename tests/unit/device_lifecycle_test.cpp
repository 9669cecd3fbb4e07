// Provider, constructor defaults, destruction, RoundDone, Reset and
// LoadFromCache of the shipped device, as the recording host sees them.
#include <cstring>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/tarnel_brelm_pxr52_419.hpp"
#include "host/provider.hpp"
#include "plugin/get_providers.hpp"
#include "support/test_device.hpp"

namespace {

using smdhost::HostEvent;
using testing_support::CoutCapture;
using testing_support::kStartEpoch;
using testing_support::RecordedDevice;
using testing_support::SimClock;
using Kind = HostEvent::Kind;

const char kCommAlarmId[] = "120600180010";

std::unique_ptr<SMDSPDevice> create_device() {
    auto providers = get_providers();
    auto* provider = dynamic_cast<SMDSPDeviceProvider*>(providers.at(0).get());
    return std::unique_ptr<SMDSPDevice>(provider->create());
}

// A record full of recognisable bytes.
std::vector<unsigned char> patterned_record() {
    std::vector<unsigned char> rec(1257);
    for (std::size_t k = 0; k < rec.size(); ++k) rec[k] = static_cast<unsigned char>(k * 7 + 3);
    return rec;
}

std::vector<unsigned char> expected_stamp(double epoch) {
    const std::time_t t = static_cast<std::time_t>(epoch);
    std::tm tm{};
    localtime_r(&t, &tm);
    const unsigned year = static_cast<unsigned>(tm.tm_year + 1900);
    return {static_cast<unsigned char>(year >> 8), static_cast<unsigned char>(year & 0xFF),
            static_cast<unsigned char>(tm.tm_mon + 1), static_cast<unsigned char>(tm.tm_mday),
            static_cast<unsigned char>(tm.tm_hour), static_cast<unsigned char>(tm.tm_min),
            static_cast<unsigned char>(tm.tm_sec)};
}

TEST(Provider, EachCallGivesOneIndependentProvider) {
    auto first = get_providers();
    auto second = get_providers();
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(first[0].get(), second[0].get());
    EXPECT_EQ(first[0].use_count(), 1);
    auto a = create_device();
    auto b = create_device();
    ASSERT_NE(a.get(), b.get());
    EXPECT_EQ(a->DeviceType(), b->DeviceType());
    a->data_id = 11;
    a->level_map["x"] = 3;
    EXPECT_EQ(b->DataId(), 0u);
    EXPECT_TRUE(b->level_map.empty());
}

TEST(Provider, CreatedDeviceHasEveryDefault) {
    auto base = create_device();
    auto* dev = dynamic_cast<Tarnel_BRELM_PXR52_419*>(base.get());
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->DeviceType(), "tarnel_brelm_pxr52_419");
    EXPECT_EQ(dev->float_mode, 0);
    EXPECT_EQ(dev->has_ac, 1);
    EXPECT_EQ(dev->has_dc, 1);
    EXPECT_EQ(dev->no_dc_number, -1);
    EXPECT_EQ(dev->cg, 1);
    EXPECT_EQ(dev->fixed_divisor, 100);
    EXPECT_EQ(dev->b_mode, 1);
    EXPECT_EQ(dev->control_ack, -1);
    EXPECT_EQ(dev->has_a + dev->has_b + dev->has_c, 3);
    EXPECT_EQ(dev->dc_i_adjust, 1);
    EXPECT_EQ(dev->ac_line, 1);
    EXPECT_EQ(dev->ac_type, 0);
    EXPECT_EQ(dev->skip_41_41 + dev->has_tower + dev->no_40_arg + dev->no_42_arg, 0);
    EXPECT_EQ(dev->dc_number + dev->open_41_43, 0);
    EXPECT_EQ(dev->baud_rate, 9600);
    EXPECT_EQ(dev->port_option, 1);
    EXPECT_EQ(dev->protocol_ver, 0x20);
    EXPECT_EQ(dev->current_cmd, 0);
    EXPECT_EQ(dev->round_active, 0);
    EXPECT_EQ(dev->round_mask, 0);
    EXPECT_EQ(dev->dc_param1, 0.0f);
    EXPECT_EQ(dev->dc_param2, 0.0f);
    EXPECT_TRUE(dev->value_map.isNull());
    const std::vector<unsigned char> zeros(1257, 0);
    EXPECT_EQ(std::memcmp(dev->data.bytes(), zeros.data(), 1257), 0);
    EXPECT_EQ(std::memcmp(dev->capture.bytes(), zeros.data(), 1257), 0);
    EXPECT_FALSE(dev->GetChildVDevice(3));
    EXPECT_TRUE(dev->GetAllChildVDevices().empty());
    EXPECT_THROW(static_cast<VDeviceInterface*>(dev)->VDeviceInterface::Get_Value(0, "out_v"),
                 std::out_of_range);
}

TEST(Provider, BaseClassDefaultsDifferWhereTheModelSetsThem) {
    PowerDevice base;
    EXPECT_EQ(base.has_dc, 0);
    EXPECT_EQ(base.float_mode, 1);
    EXPECT_EQ(base.DeviceType(), "");
    pxr52_419 model;
    EXPECT_EQ(model.DeviceType(), "pxr52_419");
    EXPECT_EQ(model.float_mode, 0);
    EXPECT_EQ(model.has_dc, 1);
}

// Counts destructor runs of a device deleted through a host base pointer.
struct TracedDevice : Tarnel_BRELM_PXR52_419 {
    explicit TracedDevice(int* counter) : counter_(counter) {}
    ~TracedDevice() override { ++*counter_; }
    int* counter_;
};

TEST(Provider, DestructionThroughHostBaseRunsTheWholeChain) {
    int destroyed = 0;
    VDeviceInterface* root = new TracedDevice(&destroyed);
    static_cast<TracedDevice*>(root)->level_map["a"] = 1;
    delete root;  // LeakSanitizer builds also see the members released
    EXPECT_EQ(destroyed, 1);
    SMDSPDevice* sp = new TracedDevice(&destroyed);
    delete sp;
    EXPECT_EQ(destroyed, 2);
}

// Listener that notes how much the device had logged when each event came.
struct OrderedLog : smdhost::HostListener {
    explicit OrderedLog(const CoutCapture& out) : out_(out) {}
    void on_event(const HostEvent& e) override {
        events.push_back(e);
        log_at.push_back(out_.text().size());
    }
    const CoutCapture& out_;
    std::vector<HostEvent> events;
    std::vector<std::size_t> log_at;
};

TEST(RoundDone, PublishesResetsChecksSubmitsAndStoresInOrder) {
    SimClock clock;
    CoutCapture out;
    Tarnel_BRELM_PXR52_419 dev;
    OrderedLog log(out);
    dev.data_id = 9;
    dev.host_listener = &log;
    dev.b_mode = 3;  // no mode-selected checks, no rule sets
    dev.level_map[kCommAlarmId] = 2;
    dev.data.acChannel[0].a.set(230.0f);
    dev.RoundDone();

    ASSERT_EQ(log.events.size(), 5u);
    EXPECT_EQ(log.events[0].kind, Kind::publish);
    EXPECT_EQ(log.events[0].code, 5535);
    EXPECT_EQ(log.events[0].len, 1257);
    EXPECT_FALSE(log.events[0].flag);
    EXPECT_EQ(log.events[1].kind, Kind::alarm);  // Reset clears the communication alarm
    EXPECT_EQ(log.events[1].key, kCommAlarmId);
    EXPECT_EQ(log.events[1].id, kCommAlarmId);
    EXPECT_EQ(log.events[1].level, 2);
    EXPECT_EQ(log.events[1].text1, "设备智能口通信状态告警");
    EXPECT_EQ(log.events[1].text2, "通信异常");
    EXPECT_FALSE(log.events[1].flag);
    EXPECT_EQ(log.events[1].count, 1u);
    EXPECT_EQ(log.events[2].kind, Kind::batch);  // Reset submits its own rule
    EXPECT_EQ(log.events[2].count, 1u);
    EXPECT_EQ(log.events[3].kind, Kind::batch);  // the round's batch, empty here
    EXPECT_EQ(log.events[3].count, 0u);
    EXPECT_EQ(log.events[4].kind, Kind::history);
    EXPECT_EQ(log.events[4].len, 1257);
    EXPECT_EQ(log.events[4].bytes, log.events[0].bytes);

    const std::string text = out.text();
    EXPECT_EQ(text,
              "pmbuspower_419 data_id:9 reset called\n"
              "data_id:9 reset from rounddone\n"
              "rvSize is 0\n");
    // "rvSize is" is printed after Reset's batch and before the round's batch.
    const std::size_t rv = text.find("rvSize is");
    EXPECT_LE(log.log_at[2], rv);
    EXPECT_GT(log.log_at[3], rv);

    EXPECT_EQ(dev.data_valid, 1);
    EXPECT_EQ(dev.alarm_seq, 1);
    EXPECT_EQ(dev.batch_result, 0);
    EXPECT_TRUE(dev.rule_values.empty());
    EXPECT_EQ(std::memcmp(dev.data.time, expected_stamp(kStartEpoch).data(), 7), 0);
}

TEST(RoundDone, QueuedRulesAreCountedSubmittedOnceAndCleared) {
    SimClock clock;
    CoutCapture out;
    RecordedDevice r;
    r.dev.b_mode = 7;  // other mode: only the model rules of that mode run
    r.dev.RoundDone();
    const auto batches = r.events(Kind::batch);
    ASSERT_FALSE(batches.empty());
    std::size_t rules = 0;
    for (const auto& e : r.log.events)
        if (e.kind == Kind::alarm || e.kind == Kind::threshold) ++rules;
    EXPECT_EQ(batches.back().count, rules);
    EXPECT_NE(out.text().find("rvSize is " + std::to_string(rules) + "\n"), std::string::npos);
    EXPECT_TRUE(r.dev.rule_values.empty());
    EXPECT_EQ(r.log.events.back().kind, Kind::history);
}

TEST(Reset, CommunicationAlarmClearsBefore120SecondsAndRaisesFrom120) {
    SimClock clock;
    CoutCapture out;
    RecordedDevice r;
    r.dev.b_mode = 3;
    r.dev.level_map[kCommAlarmId] = 1;
    r.dev.RoundDone();
    r.log.clear();

    clock.advance(119);
    EXPECT_EQ(r.dev.Reset(), 1);
    auto alarms = r.events(Kind::alarm);
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_FALSE(alarms[0].flag);

    clock.advance(1);
    r.log.clear();
    EXPECT_EQ(r.dev.Reset(), 1);
    alarms = r.events(Kind::alarm);
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_TRUE(alarms[0].flag);
    EXPECT_EQ(alarms[0].level, 1);
    EXPECT_NE(out.text().find("data_id:7 reset from refreshstatus\n"), std::string::npos);
    // The host's batch evaluation now holds the alarm as active.
    EXPECT_EQ(r.dev.active_alarms.size(), 1u);
}

TEST(Reset, NeverPublishedDeviceCountsAsStale) {
    SimClock clock;
    CoutCapture out;
    RecordedDevice r;
    r.dev.level_map[kCommAlarmId] = 4;
    r.dev.Reset();
    const auto alarms = r.events(Kind::alarm);
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_TRUE(alarms[0].flag);
}

TEST(Reset, WithoutALevelMakesNoAlarmButStillSubmitsPendingRules) {
    SimClock clock;
    CoutCapture out;
    RecordedDevice r;
    r.dev.CheckThreshold("419610401001", "", 1.0f, 1);  // a rule left pending
    r.log.clear();
    r.dev.Reset();
    EXPECT_TRUE(r.events(Kind::alarm).empty());
    const auto batches = r.events(Kind::batch);
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].count, 1u);
    EXPECT_TRUE(r.dev.rule_values.empty());
    // The inserting look-up leaves the id in the level map with level 0.
    ASSERT_EQ(r.dev.level_map.count(kCommAlarmId), 1u);
    EXPECT_EQ(r.dev.level_map[kCommAlarmId], 0);
    EXPECT_EQ(out.text(), "pmbuspower_419 data_id:7 reset called\n");

    r.log.clear();
    r.dev.Reset();  // nothing pending: no batch at all
    EXPECT_TRUE(r.log.events.empty());
}

TEST(LoadFromCache, OnlyAWholeRecordIsTakenAndPublished) {
    SimClock clock;
    CoutCapture out;
    RecordedDevice r;
    r.dev.b_mode = 3;
    const auto rec = patterned_record();
    std::vector<unsigned char> before(r.dev.data.bytes(), r.dev.data.bytes() + 1257);

    EXPECT_EQ(r.dev.LoadFromCache(rec.data(), 1256), 0);
    std::vector<unsigned char> longer = rec;
    longer.push_back(0);
    EXPECT_EQ(r.dev.LoadFromCache(longer.data(), 1258), 0);
    EXPECT_EQ(r.dev.LoadFromCache(nullptr, 1257), 0);
    EXPECT_EQ(r.dev.LoadFromCache(std::string(1256, 'x')), 0);
    EXPECT_TRUE(r.log.events.empty());
    EXPECT_EQ(r.dev.data_valid, 0);
    EXPECT_EQ(std::memcmp(r.dev.data.bytes(), before.data(), 1257), 0);

    clock.advance(3661);
    EXPECT_EQ(r.dev.LoadFromCache(std::string(rec.begin(), rec.end())), 1);
    EXPECT_EQ(r.dev.data_valid, 1);
    const auto published = r.events(Kind::publish);
    ASSERT_EQ(published.size(), 1u);
    std::vector<unsigned char> expected = rec;
    const auto stamp = expected_stamp(kStartEpoch + 3661);
    std::copy(stamp.begin(), stamp.end(), expected.begin() + 1046);
    EXPECT_EQ(published[0].bytes, expected);
    ASSERT_EQ(r.events(Kind::history).size(), 1u);
}

TEST(Record, TimeStampBytesAreTheLocalTimeOfThePublication) {
    SimClock clock(testing_support::kStartEpoch + 45296);  // 12:34:56 on 2026-01-01 in UTC
    CoutCapture out;
    RecordedDevice r;
    r.dev.b_mode = 3;
    r.dev.RoundDone();
    const auto stamp = expected_stamp(kStartEpoch + 45296);
    EXPECT_EQ(std::memcmp(r.dev.data.bytes() + 1046, stamp.data(), 7), 0);
    if (std::getenv("TZ") != nullptr && std::string(std::getenv("TZ")) == "UTC") {
        const unsigned char utc[7] = {0x07, 0xEA, 1, 1, 12, 34, 56};
        EXPECT_EQ(std::memcmp(r.dev.data.bytes() + 1046, utc, 7), 0);
    }
}

}  // namespace
