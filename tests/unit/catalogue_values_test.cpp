// The catalogue's value entries against the record layout: names, offsets,
// types and units of a sample by the layout's own offsets, a golden count
// per section (names are an interface: a rename or a lost entry shows
// here), every non-reserved byte named exactly once, unique names and
// Prometheus series, and reading values out of records.
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/record.hpp"
#include "tools/smdhost/catalogue/catalogue.hpp"
#include "tools/smdhost/catalogue/value_reading.hpp"

namespace {

using smdcatalogue::Catalogue;
using smdcatalogue::InvalidMarker;
using smdcatalogue::ValueEntry;
using smdcatalogue::ValueType;
using R = pxr52_419_Data_t;

constexpr std::size_t kAc = offsetof(R, acChannel);
constexpr std::size_t kRc = offsetof(R, rcChannel);

const ValueEntry& value(const std::string& name) {
    const ValueEntry* v = Catalogue::get().find_value(name);
    if (v == nullptr) throw std::runtime_error("no catalogue value " + name);
    return *v;
}

TEST(CatalogueValues, SampleEntriesSitWhereTheLayoutPutsTheirFields) {
    struct Row {
        const char* name;
        std::size_t offset;
        ValueType type;
        const char* unit;
        InvalidMarker invalid;
        const char* field;
    };
    const Row rows[] = {
        {"record.data_id", offsetof(R, data_id), ValueType::u32, "", InvalidMarker::none, "data_id"},
        {"record.time", offsetof(R, time), ValueType::time, "", InvalidMarker::none, "time"},
        {"ac.current.b", offsetof(R, ib), ValueType::f32, "A", InvalidMarker::minus_tenth, "ib"},
        {"ac.1.a", kAc + offsetof(acChannel_t, a), ValueType::f32, "V", InvalidMarker::zero,
         "acChannel[0].a"},
        {"ac.2.frequency", kAc + sizeof(acChannel_t) + offsetof(acChannel_t, f), ValueType::f32,
         "Hz", InvalidMarker::zero, "acChannel[1].f"},
        {"rect.12.current", kRc + 11 * sizeof(rcChannel_t), ValueType::f32, "A",
         InvalidMarker::zero_captured, "rcChannel[11].i"},
        {"rect.12.fault", kRc + 11 * sizeof(rcChannel_t) + offsetof(rcChannel_t, fault),
         ValueType::u8, "", InvalidMarker::none, "rcChannel[11].fault"},
        {"rect.40.user_alarm.7", kRc + 39 * sizeof(rcChannel_t) + offsetof(rcChannel_t, p41_44) + 6,
         ValueType::u8, "", InvalidMarker::none, "rcChannel[39].p41_44[6]"},
        {"dc.1.voltage", offsetof(R, dc0) + offsetof(dcScreen_t, dc_v), ValueType::f32, "V",
         InvalidMarker::zero_captured, "dc[0].dc_v"},
        {"dc.1.battery.2.current", offsetof(R, dc0) + offsetof(dcScreen_t, m) + 4, ValueType::f32,
         "A", InvalidMarker::zero_captured, "dc[0].m[1]"},
        {"dc.1.fuse.4", offsetof(R, dc0) + offsetof(dcScreen_t, alert_m) + 3, ValueType::u8, "",
         InvalidMarker::none, "dc[0].alert_m[3]"},
        {"dc.2.user_value.9", offsetof(R, dc1) + offsetof(dcScreen_t, p) + 32, ValueType::f32, "",
         InvalidMarker::minus_tenth, "dc[1].p[8]"},
        {"dc.2.fuse.count", offsetof(R, dc1) + offsetof(dcScreen_t, alert_m_count), ValueType::u8,
         "", InvalidMarker::none, "dc[1].alert_m_count"},
        {"model.value.2", offsetof(R, p80_42) + 4, ValueType::f32, "", InvalidMarker::none,
         "p80_42[1]"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const ValueEntry& v = value(r.name);
        EXPECT_EQ(v.offset, r.offset);
        EXPECT_EQ(v.type, r.type);
        EXPECT_EQ(v.unit, r.unit);
        EXPECT_EQ(v.invalid, r.invalid);
        EXPECT_EQ(v.field, r.field);
        EXPECT_FALSE(v.description.empty());
    }
    EXPECT_EQ(smdcatalogue::prometheus_series(value("ac.1.a")),
              "pxr52_ac_voltage_volts{input=\"1\",phase=\"a\"}");
    EXPECT_EQ(smdcatalogue::prometheus_series(value("dc.2.battery.1.current")),
              "pxr52_dc_battery_current_amperes{screen=\"2\",battery=\"1\"}");
    EXPECT_EQ(smdcatalogue::prometheus_series(value("rect.count")), "pxr52_rect_modules_reported");
    EXPECT_EQ(smdcatalogue::mqtt_topic(value("rect.12.current")), "value/rect.12.current");
    EXPECT_EQ(smdcatalogue::heading(value("dc.1.voltage")), "dc.1.voltage [V]");
}

TEST(CatalogueValues, NamesAreStableUniqueAndNameEveryByteOnce) {
    const Catalogue& c = Catalogue::get();
    std::map<std::string, int> per_section;
    std::set<std::string> names, series;
    std::vector<int> owners(sizeof(R), 0);
    for (const ValueEntry& v : c.values()) {
        ++per_section[v.name.substr(0, v.name.find('.'))];
        EXPECT_TRUE(names.insert(v.name).second) << "duplicate name " << v.name;
        EXPECT_TRUE(series.insert(smdcatalogue::prometheus_series(v)).second)
            << "duplicate series of " << v.name;
        for (std::size_t k = v.offset; k < v.offset + v.width && k < owners.size(); ++k) ++owners[k];
    }
    const std::map<std::string, int> golden = {
        {"record", 2}, {"ac", 37}, {"rect", 642}, {"dc", 172}, {"model", 2}};
    EXPECT_EQ(per_section, golden);
    for (const std::string& n : names) {
        const auto after = names.lower_bound(n + ".");
        EXPECT_TRUE(after == names.end() || after->rfind(n + ".", 0) != 0)
            << n << " is both a value and a branch (" << *after << ")";
    }
    // Every byte but the reserved ones belongs to exactly one entry.
    std::set<std::size_t> reserved;
    auto reserve = [&](std::size_t from, std::size_t n) {
        for (std::size_t k = 0; k < n; ++k) reserved.insert(from + k);
    };
    reserve(offsetof(R, reserved0), sizeof(R::reserved0));
    reserve(offsetof(R, reserved1), sizeof(R::reserved1));
    for (std::size_t dc : {offsetof(R, dc0), offsetof(R, dc1)}) {
        reserve(dc + offsetof(dcScreen_t, reserved0), sizeof(dcScreen_t::reserved0));
        reserve(dc + offsetof(dcScreen_t, reserved1), sizeof(dcScreen_t::reserved1));
    }
    for (std::size_t k = 0; k < owners.size(); ++k)
        EXPECT_EQ(owners[k], reserved.count(k) != 0 ? 0 : 1) << "record byte " << k;
}

TEST(CatalogueValues, ReadingTellsInvalidAbsentAndPresentApart) {
    R rec;
    std::memset(&rec, 0, sizeof rec);
    const unsigned char* bytes = rec.bytes();
    const std::size_t n = sizeof rec;
    rec.ib.set(-0.1f);  // the marker, bytes CD CC CC BD
    rec.acChannel[0].a.set(230.5f);
    rec.acChannel[0].b.set(std::numeric_limits<float>::quiet_NaN());
    rec.rc_count = 12;
    rec.rcChannel[11].i.set(2.62f);
    rec.rcChannel[11].p41_44_count = 9;  // above the 7 kept: all 7 present
    rec.dc1.m_count = 1;
    rec.dc1.m[1].set(-0.1f);  // a current of -0.1 A is a reading, not the marker
    const unsigned char stamp[7] = {0x07, 0xEA, 1, 1, 0, 0, 6};
    std::memcpy(rec.time, stamp, 7);

    using smdcatalogue::read_value;
    EXPECT_EQ(read_value(value("ac.current.b"), bytes, n).text, "invalid");
    EXPECT_FALSE(read_value(value("ac.current.b"), bytes, n).valid);
    EXPECT_EQ(read_value(value("ac.1.a"), bytes, n).text, "230.5");
    EXPECT_FALSE(read_value(value("ac.1.b"), bytes, n).valid);
    EXPECT_EQ(read_value(value("ac.1.b"), bytes, n).text, "nan");
    // AC inputs are counted: none reported, so none present.
    EXPECT_FALSE(read_value(value("ac.1.a"), bytes, n).present);

    const auto current = read_value(value("rect.12.current"), bytes, n);
    EXPECT_TRUE(current.present && current.valid);
    EXPECT_EQ(current.text, "2.62");
    EXPECT_FALSE(smdcatalogue::is_present(value("rect.13.current"), bytes, n));
    EXPECT_TRUE(smdcatalogue::is_present(value("rect.12.user_alarm.7"), bytes, n));
    EXPECT_FALSE(smdcatalogue::is_present(value("rect.11.user_alarm.1"), bytes, n));

    const auto battery = read_value(value("dc.2.battery.2.current"), bytes, n);
    EXPECT_FALSE(battery.present);
    EXPECT_TRUE(battery.valid);
    EXPECT_FLOAT_EQ(static_cast<float>(battery.number), -0.1f);
    EXPECT_TRUE(smdcatalogue::is_present(value("dc.2.voltage"), bytes, n));  // screens are not counted

    const auto time = read_value(value("record.time"), bytes, n);
    EXPECT_EQ(time.text, "2026-01-01T00:00:06");
    EXPECT_TRUE(time.valid);
    rec.time[2] = 13;
    EXPECT_EQ(read_value(value("record.time"), bytes, n).text, "invalid");

    // A record of the wrong length holds nothing.
    const auto short_read = read_value(value("record.data_id"), bytes, n - 1);
    EXPECT_FALSE(short_read.present || short_read.valid);
}

}  // namespace
