// smdhost decode: records built by the simulator's truth builder come back
// value for value under their catalogue names; counts beyond capacity never
// take the decoder past an array; bad input is refused with the file and the
// length named.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/record.hpp"
#include "tests/system/smdhost_support.hpp"
#include "tools/plant/plant_model.hpp"
#include "tools/plant/truth.hpp"

namespace {

using smdtest::Result;
using smdtest::TempDir;
using smdtest::write_file;

std::string bytes_of(const pxr52_419_Data_t& r) {
    return std::string(reinterpret_cast<const char*>(r.bytes()), sizeof r);
}

bool marker(const le_f32& f) {
    return f.b[0] == 0xCD && f.b[1] == 0xCC && f.b[2] == 0xCC && f.b[3] == 0xBD;
}

// A decoded reading is the same float; "invalid" for the marker where the
// value stores one, "nan"/"inf" for non-finite floats.
void expect_float(const Json::Value& v, const le_f32& f, const std::string& what,
                  bool has_marker = false) {
    if (has_marker && marker(f)) {
        EXPECT_EQ(v.asString(), "invalid") << what;
        return;
    }
    const float x = f.get();
    if (!std::isfinite(x)) {
        EXPECT_EQ(v.asString(), std::isnan(x) ? "nan" : x > 0 ? "inf" : "-inf") << what;
        return;
    }
    ASSERT_TRUE(v.isNumeric()) << what << ": " << v.toStyledString();
    EXPECT_EQ(static_cast<float>(v.asDouble()), x) << what;
}

std::string n(std::size_t k) { return std::to_string(k + 1); }

// The values of each kind of section against the layout: the counted ones
// up to their count and none beyond.
void expect_record(const Json::Value& j, const pxr52_419_Data_t& r) {
    const Json::Value& v = j["values"];
    ASSERT_TRUE(v.isObject()) << j.toStyledString();
    EXPECT_EQ(v["record.data_id"].asUInt(), r.data_id.get());
    expect_float(v["ac.current.a"], r.ia, "ac.current.a", true);
    expect_float(v["ac.current.c"], r.ic, "ac.current.c", true);
    EXPECT_EQ(v["ac.count"].asUInt(), r.channel_count);
    const unsigned channels = std::min<unsigned>(r.channel_count, CHANNEL_MAX);
    for (unsigned k = 0; k < CHANNEL_MAX; ++k) {
        EXPECT_EQ(v.isMember("ac." + n(k) + ".a"), k < channels) << k;
        if (k < channels) expect_float(v["ac." + n(k) + ".frequency"], r.acChannel[k].f, "frequency");
    }
    expect_float(v["rect.voltage"], r.rc_v, "rect.voltage");
    const unsigned modules = std::min<unsigned>(r.rc_count, RC_MAX);
    for (unsigned k = 0; k < RC_MAX; ++k) {
        const std::string m = "rect." + n(k);
        ASSERT_EQ(v.isMember(m + ".current"), k < modules) << m;
        if (k >= modules) continue;
        expect_float(v[m + ".current"], r.rcChannel[k].i, m);
        EXPECT_EQ(v[m + ".fault"].asUInt(), r.rcChannel[k].fault) << m;
        EXPECT_EQ(v[m + ".switch.3"].asUInt(), r.rcChannel[k].sw_state[2]) << m;
        const unsigned alarms = std::min<unsigned>(r.rcChannel[k].p41_44_count, P41_44_SIZE);
        for (unsigned a = 0; a < P41_44_SIZE; ++a)
            EXPECT_EQ(v.isMember(m + ".user_alarm." + n(a)), a < alarms) << m << " " << a;
    }
    for (int s = 0; s < 2; ++s) {
        const dcScreen_t& d = r.dc(s);
        const std::string p = "dc." + n(static_cast<std::size_t>(s));
        expect_float(v[p + ".voltage"], d.dc_v, p);
        expect_float(v[p + ".current"], d.dc_i, p);
        const unsigned batteries = std::min<unsigned>(d.m_count, M_SIZE);
        for (unsigned b = 0; b < M_SIZE; ++b) {
            ASSERT_EQ(v.isMember(p + ".battery." + n(b) + ".current"), b < batteries) << p << b;
            if (b < batteries) expect_float(v[p + ".battery." + n(b) + ".current"], d.m[b], p);
        }
        const unsigned users = std::min<unsigned>(d.p_count, P_SIZE);
        for (unsigned u = 0; u < users; ++u)
            expect_float(v[p + ".user_value." + n(u)], d.p[u], p + " user value", true);
        const unsigned fuses = std::min<unsigned>(d.alert_m_count, ALERT_M_SIZE);
        for (unsigned f = 0; f < ALERT_M_SIZE; ++f)
            EXPECT_EQ(v.isMember(p + ".fuse." + n(f)), f < fuses) << p << f;
    }
    expect_float(v["model.value.1"], r.p80_42[0], "model.value.1");
    EXPECT_EQ(j["units"]["dc.1.voltage"], "V");
    EXPECT_EQ(j["units"]["rect.voltage"], "V");
    EXPECT_FALSE(j["units"].isMember("rect.count"));
}

class SmdhostDecode : public ::testing::Test {
protected:
    void SetUp() override {
        if (!smdtest::executable(smdtest::smdhost_path()))
            GTEST_SKIP() << "no smdhost at " << smdtest::smdhost_path();
    }

    Json::Value decode_json(const std::string& bytes) {
        write_file(dir.file("r.bin"), bytes);
        const Result r = smdtest::smdhost({"decode", dir.file("r.bin"), "--format", "json"});
        EXPECT_EQ(r.status, 0) << r.err;
        const auto events = smdtest::events_of(r.out);
        EXPECT_EQ(events.size(), 1u) << r.out;
        return events.empty() ? Json::Value() : events[0];
    }

    TempDir dir;
};

TEST_F(SmdhostDecode, RoundTripsEveryFieldOfSimulatedRecords) {
    // Varied shapes report more items than the record keeps; invalid
    // readings give the marker in the phase currents and DC user values.
    for (std::uint64_t seed = 1; seed <= 6; ++seed) {
        plant::Plant p(plant::PlantShape::varied(seed % 2 == 0 ? 40 : 7, seed % 3 == 0 ? 1 : 2, seed),
                       seed);
        for (int step = 0; step < 3; ++step) p.step(5.0);
        for (int k = 0; k < 12; ++k) p.invalidate_reading();
        pxr52_419_Data_t r = plant::truth_record(p.state(), 5535);
        const unsigned char stamp[7] = {0x07, 0xEA, 3, 4, 5, 6, 7};
        std::memcpy(r.time, stamp, 7);
        r.p80_42[0].set(12.5f);
        r.p80_42[1].set(-0.1f);

        const Json::Value j = decode_json(bytes_of(r));
        SCOPED_TRACE("seed " + std::to_string(seed));
        expect_record(j, r);
        EXPECT_EQ(j["values"]["record.time"].asString(), "2026-03-04T05:06:07");
        // The model values keep what the reply held: -0.1 is no marker there.
        EXPECT_EQ(j["values"]["model.value.2"].asFloat(), -0.1f);
        EXPECT_EQ(j["notes"].size(), 0u) << j["notes"].toStyledString();
    }
}

TEST_F(SmdhostDecode, CountsAboveCapacityStopAtTheArrayAndAreNoted) {
    pxr52_419_Data_t r;
    std::memset(&r, 0, sizeof r);
    r.channel_count = 3;
    r.rc_count = 41;
    r.dc0.m_count = 3;
    r.dc0.alert_m_count = 200;
    r.dc1.p_count = 255;
    r.rcChannel[0].p41_44_count = 9;
    r.p40_43_count = 2;
    r.dc0.m[1].set(5.25f);
    const Json::Value j = decode_json(bytes_of(r));
    expect_record(j, r);
    EXPECT_EQ(j["values"]["dc.1.battery.2.current"].asFloat(), 5.25f);
    EXPECT_FALSE(j["values"].isMember("dc.1.battery.3.current"));
    const std::string notes = j["notes"].toStyledString();
    for (const char* n : {"ac.count is 3", "rect.count is 41, above the capacity 40: 40 values shown",
                          "dc.1.battery.count is 3", "dc.1.fuse.count is 200",
                          "dc.2.user_value.count is 255", "rect.1.user_alarm.count is 9",
                          "ac.user_switch.count is 2, above the capacity 0"})
        EXPECT_NE(notes.find(n), std::string::npos) << n << " in " << notes;

    // Every byte 0xFF: every count at its maximum, every float a NaN.
    std::string all(sizeof r, '\xFF');
    std::memcpy(&r, all.data(), sizeof r);
    const Json::Value full = decode_json(all);
    expect_record(full, r);
    EXPECT_TRUE(full["values"].isMember("rect.40.user_alarm." + std::to_string(P41_44_SIZE)));
    EXPECT_EQ(full["values"]["ac.current.a"].asString(), "nan");
    EXPECT_EQ(full["values"]["record.time"].asString(), "invalid");
}

TEST_F(SmdhostDecode, ReservedBytesAndTimeStampAreChecked) {
    pxr52_419_Data_t r;
    std::memset(&r, 0, sizeof r);
    Json::Value j = decode_json(bytes_of(r));
    EXPECT_TRUE(j["values"]["record.time"].isNull()) << "a record never stamped has no time";
    EXPECT_EQ(j["notes"].size(), 0u);

    r.reserved0[2] = 0x11;
    r.dc1.reserved1[6] = 0x22;
    r.time[2] = 13;  // month 13
    r.time[3] = 1;
    j = decode_json(bytes_of(r));
    const std::string notes = j["notes"].toStyledString();
    EXPECT_NE(notes.find("offsets 4 to 7"), std::string::npos) << notes;
    EXPECT_NE(notes.find("offsets 1242 to 1248"), std::string::npos) << notes;
    EXPECT_EQ(j["values"]["record.time"].asString(), "invalid");
}

TEST_F(SmdhostDecode, HexTextStdinAndTheTextForm) {
    plant::Plant p(plant::PlantShape::typical(3, 1), 9);
    p.step(5.0);
    pxr52_419_Data_t r = plant::truth_record(p.state(), 1);
    r.ia.set(-0.1f);
    const std::string hex = plant::record_hex(r);
    // Hex text with line breaks, as pasted from an event.
    write_file(dir.file("r.hex"), hex.substr(0, 1000) + "\n" + hex.substr(1000) + "\n");
    Result a = smdtest::smdhost({"decode", dir.file("r.hex"), "--format", "json"});
    Result b = smdtest::smdhost({"decode", "--hex", hex, "--format", "json"});
    write_file(dir.file("r.bin"), bytes_of(r));
    Result c = smdtest::run({"/bin/sh", "-c",
                             "'" + smdtest::smdhost_path() + "' decode - --format json < r.bin"},
                            dir.path());
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(a.out, c.out);
    expect_record(smdtest::events_of(a.out).at(0), r);

    const Result t = smdtest::smdhost({"decode", dir.file("r.bin"), "--format", "text"});
    ASSERT_EQ(t.status, 0) << t.err;
    EXPECT_NE(t.out.find("\nac.current.a "), std::string::npos) << t.out;
    EXPECT_NE(t.out.find("invalid (CD CC CC BD)"), std::string::npos);
    EXPECT_NE(t.out.find("\nrect.3.current "), std::string::npos);
    EXPECT_EQ(t.out.find("rect.4."), std::string::npos) << "three rectifiers reported";
    EXPECT_NE(t.out.find("\nrecord.time "), std::string::npos);
}

TEST_F(SmdhostDecode, FieldsPickValuesByPatternAndAllShowsFullCapacity) {
    plant::Plant p(plant::PlantShape::typical(3, 1), 4);
    p.step(5.0);
    write_file(dir.file("r.bin"), bytes_of(plant::truth_record(p.state(), 1)));
    auto values = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = {"decode", dir.file("r.bin"), "--format", "json"};
        args.insert(args.end(), extra.begin(), extra.end());
        const Result r = smdtest::smdhost(args);
        EXPECT_EQ(r.status, 0) << r.err;
        const auto docs = smdtest::events_of(r.out);
        return docs.empty() ? Json::Value() : docs[0]["values"];
    };
    const Json::Value picked = values({"--fields", "rect.*.current,dc.?.voltage"});
    EXPECT_EQ(picked.getMemberNames(),
              (std::vector<std::string>{"dc.1.voltage", "dc.2.voltage", "rect.1.current",
                                        "rect.2.current", "rect.3.current"}));
    EXPECT_EQ(values({"--fields", "rect.*.current", "--all"}).size(), 40u);
    EXPECT_GT(values({"--all"}).size(), values({}).size());

    const Result bad = smdtest::smdhost({"decode", dir.file("r.bin"), "--fields", "dc.1,dc.1.votlage"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("'dc.1.votlage' matches no value name; did you mean dc.1.voltage?"),
              std::string::npos)
        << bad.err;
}

TEST_F(SmdhostDecode, WrongLengthAndBadHexAreNamed) {
    const std::string path = dir.file("short.bin");
    write_file(path, std::string(1256, '\x01'));
    Result r = smdtest::smdhost({"decode", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(path + ": 1256 bytes"), std::string::npos) << r.err;

    write_file(path, std::string(1258 * 2, 'A'));
    r = smdtest::smdhost({"decode", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("hold 1258 bytes"), std::string::npos) << r.err;

    r = smdtest::smdhost({"decode", "--hex", "ABC"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("odd number of hex digits (3)"), std::string::npos) << r.err;
    r = smdtest::smdhost({"decode", "--hex", "00 1G"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("'G' at character 5"), std::string::npos) << r.err;

    r = smdtest::smdhost({"decode", dir.file("absent.bin")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("absent.bin"), std::string::npos) << r.err;

    EXPECT_EQ(smdtest::smdhost({"decode"}).status, 2);
    EXPECT_EQ(smdtest::smdhost({"decode", path, "--hex", "00"}).status, 2);
    EXPECT_EQ(smdtest::smdhost({"decode", path, "--format", "csv"}).status, 2);
}

TEST(SmdhostOperatorHelp, EveryToolAndOptionIsDescribed) {
    if (!smdtest::executable(smdtest::smdhost_path())) GTEST_SKIP() << "no smdhost";
    const auto top = smdtest::smdhost({"--help"});
    for (const char* w : {"history STORE", "decode [FILE|--hex HEX]", "check CONFIG", "signals [FILTER]"})
        EXPECT_NE(top.out.find(w), std::string::npos) << w;
    const std::vector<std::pair<std::string, std::vector<std::string>>> wanted = {
        {"history", {"--data-id", "--since", "--last", "--fields", "--all", "--format json|csv|text",
                     "history_value", "Exit status"}},
        {"decode", {"--hex", "CD CC CC BD", "--fields", "--all", "--format json|text", "Exit status"}},
        {"check", {"--ini-dir", "\"appSetting\"", "\"thresholdSetting\"", "--strict",
                   "--format text|json", "Exit status"}},
        {"signals", {"--mode", "--format json|text", "FILTER", "Exit status"}},
        {"replay", {"--history STORE", "--restore"}},
        {"listen", {"--history STORE", "--restore"}},
    };
    for (const auto& w : wanted) {
        const auto r = smdtest::smdhost({w.first, "--help"});
        EXPECT_EQ(r.status, 0) << w.first;
        for (const auto& text : w.second)
            EXPECT_NE(r.out.find(text), std::string::npos) << w.first << ": " << text;
    }
}

}  // namespace
