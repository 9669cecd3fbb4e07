// smdhost decode: records built by the simulator's truth builder come back
// field for field; counts beyond capacity never take the decoder past an
// array; bad input is refused with the file and the length named.
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

// A decoded float is the same float, or "invalid" exactly for the marker.
void expect_float(const Json::Value& v, const le_f32& f, const std::string& what) {
    if (marker(f)) {
        EXPECT_EQ(v.asString(), "invalid") << what;
        return;
    }
    const float x = f.get();
    if (!std::isfinite(x)) {
        EXPECT_EQ(v.asString(), std::isnan(x) ? "nan" : x > 0 ? "inf" : "-inf") << what;
        return;
    }
    ASSERT_TRUE(v.isNumeric()) << what << ": " << v.toStyledString();
    EXPECT_EQ(static_cast<float>(v.asDouble()), f.get()) << what;
}

// A counted array: as many entries as the count, never more than the capacity.
template <class T, class F>
void expect_list(const Json::Value& v, unsigned count, unsigned capacity, const T* items,
                 const std::string& what, F&& same) {
    ASSERT_TRUE(v.isArray()) << what;
    ASSERT_EQ(v.size(), std::min(count, capacity)) << what;
    for (Json::ArrayIndex k = 0; k < v.size(); ++k) same(v[k], items[k], what + "[" + std::to_string(k) + "]");
}

void expect_byte(const Json::Value& v, unsigned char b, const std::string& what) {
    EXPECT_EQ(v.asUInt(), b) << what;
}

void expect_f(const Json::Value& v, const le_f32& f, const std::string& what) { expect_float(v, f, what); }

// Every field of the layout against the decoded JSON.
void expect_record(const Json::Value& j, const pxr52_419_Data_t& r) {
    EXPECT_EQ(j["data_id"].asUInt(), r.data_id.get());
    expect_float(j["ia"], r.ia, "ia");
    expect_float(j["ib"], r.ib, "ib");
    expect_float(j["ic"], r.ic, "ic");
    expect_byte(j["ia_alarm"], r.ia_alarm, "ia_alarm");
    expect_byte(j["ib_alarm"], r.ib_alarm, "ib_alarm");
    expect_byte(j["ic_alarm"], r.ic_alarm, "ic_alarm");
    expect_byte(j["airlock_count"], r.airlock_count, "airlock_count");
    expect_list(j["airlock"], r.airlock_count, AIRLOCK_MAX, r.airlock, "airlock", expect_byte);
    expect_byte(j["p40_43_count"], r.p40_43_count, "p40_43_count");
    expect_byte(j["channel_count"], r.channel_count, "channel_count");
    expect_list(j["acChannel"], r.channel_count, CHANNEL_MAX, r.acChannel, "acChannel",
                [](const Json::Value& c, const acChannel_t& a, const std::string& w) {
                    expect_float(c["a"], a.a, w + ".a");
                    expect_float(c["b"], a.b, w + ".b");
                    expect_float(c["c"], a.c, w + ".c");
                    expect_float(c["f"], a.f, w + ".f");
                    expect_byte(c["p40_41_count"], a.p40_41_count, w);
                    expect_byte(c["a_alarm"], a.a_alarm, w);
                    expect_byte(c["b_alarm"], a.b_alarm, w);
                    expect_byte(c["c_alarm"], a.c_alarm, w);
                    expect_byte(c["f_alarm"], a.f_alarm, w);
                    expect_byte(c["p40_44_count"], a.p40_44_count, w);
                });
    expect_float(j["rc_v"], r.rc_v, "rc_v");
    expect_byte(j["rc_count"], r.rc_count, "rc_count");
    expect_list(j["rcChannel"], r.rc_count, RC_MAX, r.rcChannel, "rcChannel",
                [](const Json::Value& c, const rcChannel_t& m, const std::string& w) {
                    expect_float(c["i"], m.i, w + ".i");
                    expect_byte(c["p41_41_count"], m.p41_41_count, w);
                    expect_list(c["sw_state"], 3, 3, m.sw_state, w + ".sw_state", expect_byte);
                    expect_byte(c["p41_43_count"], m.p41_43_count, w);
                    expect_list(c["p41_43"], m.p41_43_count, P41_43_SIZE, m.p41_43, w + ".p41_43",
                                expect_byte);
                    expect_byte(c["fault"], m.fault, w);
                    expect_byte(c["p41_44_count"], m.p41_44_count, w);
                    expect_list(c["p41_44"], m.p41_44_count, P41_44_SIZE, m.p41_44, w + ".p41_44",
                                expect_byte);
                });
    ASSERT_EQ(j["dc"].size(), 2u);
    for (int k = 0; k < 2; ++k) {
        const Json::Value& d = j["dc"][k];
        const dcScreen_t& s = r.dc(k);
        const std::string w = "dc[" + std::to_string(k) + "]";
        expect_float(d["dc_v"], s.dc_v, w + ".dc_v");
        expect_float(d["dc_i"], s.dc_i, w + ".dc_i");
        expect_byte(d["m_count"], s.m_count, w);
        expect_list(d["m"], s.m_count, M_SIZE, s.m, w + ".m", expect_f);
        expect_byte(d["n_count"], s.n_count, w);
        expect_list(d["n"], s.n_count, N_SIZE, s.n, w + ".n", expect_f);
        expect_byte(d["p_count"], s.p_count, w);
        expect_list(d["p"], s.p_count, P_SIZE, s.p, w + ".p", expect_f);
        expect_byte(d["dc_v_alarm"], s.dc_v_alarm, w);
        expect_byte(d["alert_m_count"], s.alert_m_count, w);
        expect_list(d["alert_m"], s.alert_m_count, ALERT_M_SIZE, s.alert_m, w + ".alert_m", expect_byte);
        expect_byte(d["alert_p_count"], s.alert_p_count, w);
        expect_list(d["alert_p"], s.alert_p_count, ALERT_P_SIZE, s.alert_p, w + ".alert_p", expect_byte);
    }
    expect_list(j["p80_42"], 2, 2, r.p80_42, "p80_42", expect_f);
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
        EXPECT_EQ(j["time"].asString(), "2026-03-04T05:06:07");
        EXPECT_EQ(j["p80_42"][1].asString(), "invalid");
        EXPECT_FALSE(j.isMember("notes")) << j["notes"].toStyledString();
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
    EXPECT_EQ(j["dc"][0]["m"].size(), 2u);
    EXPECT_EQ(j["dc"][0]["m"][1].asFloat(), 5.25f);
    const std::string notes = j["notes"].toStyledString();
    for (const char* n : {"channel_count is 3", "rc_count is 41", "dc[0].m_count is 3",
                          "dc[0].alert_m_count is 200", "dc[1].p_count is 255",
                          "rcChannel[0].p41_44_count is 9", "p40_43_count is 2, above the capacity 0"})
        EXPECT_NE(notes.find(n), std::string::npos) << n << " in " << notes;

    // Every byte 0xFF: every count at its maximum, every float a NaN.
    std::string all(sizeof r, '\xFF');
    std::memcpy(&r, all.data(), sizeof r);
    const Json::Value full = decode_json(all);
    expect_record(full, r);
    EXPECT_EQ(full["rcChannel"].size(), 40u);
    EXPECT_EQ(full["ia"].asString(), "nan");
    EXPECT_EQ(full["time"].asString(), "invalid");
}

TEST_F(SmdhostDecode, ReservedBytesAndTimeStampAreChecked) {
    pxr52_419_Data_t r;
    std::memset(&r, 0, sizeof r);
    Json::Value j = decode_json(bytes_of(r));
    EXPECT_TRUE(j["time"].isNull()) << "a record never stamped has no time";
    EXPECT_FALSE(j.isMember("notes"));

    r.reserved0[2] = 0x11;
    r.dc1.reserved1[6] = 0x22;
    r.time[2] = 13;  // month 13
    r.time[3] = 1;
    j = decode_json(bytes_of(r));
    const std::string notes = j["notes"].toStyledString();
    EXPECT_NE(notes.find("offsets 4 to 7"), std::string::npos) << notes;
    EXPECT_NE(notes.find("offsets 1242 to 1248"), std::string::npos) << notes;
    EXPECT_EQ(j["time"].asString(), "invalid");
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
    EXPECT_NE(t.out.find("\nia "), std::string::npos) << t.out;
    EXPECT_NE(t.out.find("invalid (CD CC CC BD)"), std::string::npos);
    EXPECT_NE(t.out.find("\nrcChannel[2].i "), std::string::npos);
    EXPECT_EQ(t.out.find("rcChannel[3]"), std::string::npos) << "three rectifiers reported";
    EXPECT_NE(t.out.find("\ntime "), std::string::npos);
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
    for (const char* w : {"history STORE", "decode [FILE|--hex HEX]", "check CONFIG"})
        EXPECT_NE(top.out.find(w), std::string::npos) << w;
    const std::vector<std::pair<std::string, std::vector<std::string>>> wanted = {
        {"history", {"--data-id", "--since", "--last", "--format json|csv|text", "Exit status"}},
        {"decode", {"--hex", "CD CC CC BD", "--format json|text", "Exit status"}},
        {"check", {"--ini-dir", "\"appSetting\"", "\"thresholdSetting\"", "Exit status"}},
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
