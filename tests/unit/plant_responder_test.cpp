// The plant's responder: reply layouts in both number formats, the data
// flag, controls and return codes, and whole active rounds of the polling
// devices answered by it.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "poll_test_support.hpp"
#include "tools/plant/responder.hpp"

namespace {

using smdhost::HostEvent;
using testing_support::Bytes;
using testing_support::decoded_frame;
using testing_support::SimClock;

plant::Reply ask(plant::Responder& r, unsigned char cid1, unsigned char cid2, const Bytes& info = {}) {
    const Bytes f = decoded_frame(cid1, cid2, info);
    return r.reply(f.data(), f.size());
}

float f32(const Bytes& b, std::size_t off) { return pxr52::load_f32(b.data() + off); }
unsigned be16(const Bytes& b, std::size_t off) { return pxr52::load_be16(b.data() + off); }

// ------------------------------------------------------------ encodings

TEST(PlantEncoding, ValidReadingsNeverLookLikeTheInvalidMarker) {
    EXPECT_EQ(plant::fixed_code({51.40, false}, 100), 0x1415) << "0x1414 would read as invalid";
    EXPECT_EQ(plant::fixed_code({82.24, false}, 100), 0x2021);
    EXPECT_EQ(plant::fixed_code({53.50, false}, 100), 5350);
    EXPECT_EQ(plant::fixed_code({2.56, false}, 100), 0x0100) << "a zero high byte is a valid value";
    EXPECT_EQ(plant::fixed_code({-3.0, false}, 100), 0) << "no sign in fixed point";
    EXPECT_EQ(plant::fixed_code({1000.0, false}, 100), 0xFFFE) << "clamped, and FF FF avoided";
    EXPECT_EQ(plant::fixed_code({53.5, true}, 100), 0x2020);

    const unsigned char same[4] = {0x41, 0x41, 0x41, 0x41};
    Bytes out;
    plant::put_float(out, {pxr52::load_f32(same), false});
    ASSERT_EQ(out.size(), 4u);
    EXPECT_FALSE(out[0] == out[1] && out[1] == out[2] && out[2] == out[3]);
    EXPECT_NEAR(pxr52::load_f32(out.data()), pxr52::load_f32(same), 1e-5);
    out.clear();
    plant::put_float(out, {0.0, true});
    EXPECT_EQ(out, (Bytes{0x20, 0x20, 0x20, 0x20}));
    out.clear();
    plant::put_float(out, {0.0, false});
    EXPECT_EQ(out, (Bytes{0, 0, 0, 0})) << "zero is a valid float";
}

// ------------------------------------------------------------ layouts

class PlantResponder : public ::testing::Test {
protected:
    plant::Plant plant{plant::PlantShape::typical(3, 2), 9};
    plant::Responder resp{plant, plant::ResponderConfig{}};
};

TEST_F(PlantResponder, AcRepliesCarryTheScreenCountOnlyForCommandGroup0xFF) {
    const plant::Reply with = ask(resp, 0x40, 0x42, {0xFF});
    const plant::Reply without = ask(resp, 0x40, 0x42, {0x01});
    ASSERT_TRUE(with.answered);
    EXPECT_EQ(with.rtn, 0);
    EXPECT_EQ(with.info.size(), without.info.size() + 1);
    EXPECT_EQ(with.info[1], 1) << "screen count";
    EXPECT_EQ(with.info[2], 1) << "one AC input";
    EXPECT_EQ(without.info[1], 1) << "AC input count right after the flag";
    EXPECT_EQ(Bytes(with.info.begin() + 2, with.info.end()), Bytes(without.info.begin() + 1, without.info.end()));

    // A command without the byte takes the configured command group.
    plant::Responder ff(plant, plant::ResponderConfig{0x01, 0xFF, 2});
    EXPECT_EQ(ask(ff, 0x40, 0x43).info.size(), ask(resp, 0x40, 0x43).info.size() + 1);
}

TEST_F(PlantResponder, FloatAndFixedRepliesCarryTheSameReadings) {
    const auto& dc = plant.state().dc[0];
    const plant::Reply fl = ask(resp, 0x42, 0x41, {0xFF});
    const plant::Reply fx = ask(resp, 0x42, 0x42, {0xFF});
    ASSERT_EQ(fl.info[1], 2);
    ASSERT_EQ(fx.info[1], 2);
    EXPECT_EQ(f32(fl.info, 2), static_cast<float>(dc.v.value));
    EXPECT_EQ(be16(fx.info, 2), plant::fixed_code(dc.v, 100));
    EXPECT_EQ(f32(fl.info, 6), static_cast<float>(dc.i.value));
    EXPECT_EQ(fl.info[10], 2) << "battery groups";
    // Per screen: v i, 2 battery groups, 6 branches, 4 user values, three counts.
    EXPECT_EQ(fx.info.size(), 2 + 2 * (2 * 2 + 3 + 2 * (2 + 6 + 4)));
    EXPECT_EQ(fl.info.size(), 2 + 2 * (2 * 4 + 3 + 4 * (2 + 6 + 4)));

    const plant::Reply ra = ask(resp, 0x41, 0x41);
    EXPECT_EQ(f32(ra.info, 1), static_cast<float>(plant.state().rc_v.value));
    EXPECT_EQ(ra.info[5], 3);
    EXPECT_EQ(ra.info.size(), 1 + 4 + 1 + 3 * 5u);
    EXPECT_EQ(ask(resp, 0x41, 0x42).info.size(), 1 + 2 + 1 + 3 * 3u);
}

TEST_F(PlantResponder, DcLayoutOneCarriesTheFirstScreenRightAfterTheFlag) {
    plant::Responder one(plant, plant::ResponderConfig{0x01, 0x01, 1});
    const plant::Reply a1 = ask(one, 0x42, 0x42, {0xFF});
    const plant::Reply a2 = ask(resp, 0x42, 0x42, {0xFF});
    EXPECT_EQ(be16(a1.info, 1), plant::fixed_code(plant.state().dc[0].v, 100));
    EXPECT_EQ(Bytes(a1.info.begin() + 1, a1.info.end()),
              Bytes(a2.info.begin() + 2, a2.info.begin() + 2 + static_cast<long>(a1.info.size()) - 1))
        << "layout 1 is layout 2's first screen without the count";
    EXPECT_LT(a1.info.size() - 1, a2.info.size() - 2) << "second screen left out";
    const plant::Reply al = ask(one, 0x42, 0x44, {0xFF});
    EXPECT_EQ(al.info[1], plant.state().dc[0].v_alarm);
    EXPECT_EQ(al.info[2], plant.shape().dc_fuses());
}

TEST_F(PlantResponder, DataFlagReportsUnreadChangesUntilTheirReplyIsRead) {
    EXPECT_EQ(ask(resp, 0x41, 0x42).info[0], 0x11) << "fresh plant: everything is news";
    ask(resp, 0x41, 0x44);
    EXPECT_EQ(ask(resp, 0x41, 0x42).info[0], 0x10);
    ask(resp, 0x41, 0x43);
    EXPECT_EQ(ask(resp, 0x41, 0x42).info[0], 0x00);
    EXPECT_EQ(ask(resp, 0x41, 0x45, {0xE6, 0x02}).rtn, 0);  // module 2 off: a switch change
    EXPECT_EQ(ask(resp, 0x41, 0x42).info[0], 0x10);
    plant.fail_rectifier(0);
    plant.step(1.0);
    EXPECT_EQ(ask(resp, 0x41, 0x42).info[0] & 0x01, 0x01) << "module fault is an alarm change";
}

// ------------------------------------------------------------ controls

TEST_F(PlantResponder, ControlsChangeThePlantAndAnswerWithReturnCodeZero) {
    ASSERT_EQ(ask(resp, 0x41, 0x45, {0xE6, 0x02}).rtn, 0);
    Bytes sw = ask(resp, 0x41, 0x43).info;
    EXPECT_EQ(sw[2 + 4], 0x01) << "module 2 off (4 bytes per module)";
    EXPECT_EQ(sw[2], 0x00) << "module 1 on";
    EXPECT_EQ(plant.state().rect[1].i.value, 0.0);
    ASSERT_EQ(ask(resp, 0x41, 0x45, {0x20, 0x02}).rtn, 0);
    EXPECT_EQ(ask(resp, 0x41, 0x43).info[2 + 4], 0x00) << "module 2 on again";
    ASSERT_EQ(ask(resp, 0x41, 0x45, {0x10, 0x02}).rtn, 0);
    EXPECT_EQ(ask(resp, 0x41, 0x43).info[2 + 2], 0x01) << "equalise charge";

    Bytes set_float = {0xDC};
    testing_support::put_fl(set_float, 55.0f);
    const plant::Reply r1 = ask(resp, 0x42, 0x48, set_float);
    EXPECT_EQ(r1.rtn, 0);
    EXPECT_TRUE(r1.info.empty());
    ASSERT_EQ(ask(resp, 0x42, 0x49, {0x84, 0x16, 0x80}).rtn, 0);  // equalise 57.60 V
    const Bytes params = ask(resp, 0x42, 0x47, {0xFF}).info;
    ASSERT_EQ(params.size(), 13u);
    EXPECT_EQ(be16(params, 9), 5500u);
    EXPECT_EQ(be16(params, 11), 5760u);

    EXPECT_EQ(ask(resp, 0x41, 0x4E, {0x07, 0xEA, 3, 14, 15, 9, 26}).rtn, 0);
    EXPECT_EQ(plant.state().clock, (Bytes{0x07, 0xEA, 3, 14, 15, 9, 26}));
}

TEST_F(PlantResponder, MalformedAndUnknownCommandsGetNonZeroReturnCodes) {
    struct Row {
        unsigned char cid1, cid2;
        Bytes info;
        unsigned char rtn;
    };
    const Row rows[] = {
        {0x42, 0x43, {}, plant::kRtnUnknownCommand},
        {0x43, 0x42, {}, plant::kRtnUnknownCommand},
        {0x41, 0x99, {}, plant::kRtnUnknownCommand},
        {0x41, 0x4E, {0x07, 0xEA, 3, 14, 15, 9}, plant::kRtnFormat},
        {0x41, 0x4E, {0x07, 0xEA, 13, 14, 15, 9, 26}, plant::kRtnInvalidData},  // month 13
        {0x41, 0x45, {0xE5}, plant::kRtnFormat},
        {0x41, 0x45, {0xE5, 0x00}, plant::kRtnInvalidData},                    // no module 0
        {0x41, 0x45, {0xE5, 0x04}, plant::kRtnInvalidData},                    // 3 modules
        {0x41, 0x45, {0x77, 0x01}, plant::kRtnInvalidData},
        {0x42, 0x48, {0xDC, 0, 0}, plant::kRtnFormat},
        {0x42, 0x48, {0x55, 0, 0, 0x5C, 0x42}, plant::kRtnInvalidData},         // unknown parameter
        {0x42, 0x49, {0x85, 0x27, 0x10}, plant::kRtnInvalidData},               // 100.00 V
        {0x42, 0x49, {0x85, 0xEB, 0x00}, plant::kRtnInvalidData},               // negative
    };
    for (const auto& row : rows) {
        const plant::Reply r = ask(resp, row.cid1, row.cid2, row.info);
        EXPECT_TRUE(r.answered);
        EXPECT_EQ(r.rtn, row.rtn) << std::hex << int(row.cid1) << "/" << int(row.cid2);
        EXPECT_TRUE(r.info.empty());
    }
    EXPECT_EQ(plant.state().float_v, 53.5) << "refused controls change nothing";
    EXPECT_TRUE(plant.state().clock.empty());
}

TEST_F(PlantResponder, OtherAddressesAndShortFramesGetNoAnswer) {
    Bytes f = decoded_frame(0x42, 0x42, {0xFF});
    f[1] = 0x02;
    EXPECT_FALSE(resp.reply(f.data(), f.size()).answered);
    EXPECT_EQ(resp.answer(f.data(), f.size()), "");
    EXPECT_FALSE(resp.reply(f.data(), 5).answered);

    // A length word claiming more than the frame holds: only the bytes given count.
    Bytes clock = decoded_frame(0x41, 0x4E, {0x07, 0xEA, 3, 14, 15, 9, 26});
    EXPECT_EQ(resp.reply(clock.data(), 6 + 3).rtn, plant::kRtnFormat);
}

TEST_F(PlantResponder, AnswerIsOneFrameTheHostDecoderAccepts) {
    const Bytes cmd = decoded_frame(0x42, 0x44, {0xFF});
    const std::string line = resp.answer(cmd.data(), cmd.size());
    smdhost::FrameDecoder dec;
    int frames = 0;
    for (unsigned char c : line) frames += dec.push(c) == smdhost::FrameDecoder::Status::frame;
    ASSERT_EQ(frames, 1);
    const plant::Reply r = ask(resp, 0x42, 0x44, {0xFF});
    EXPECT_EQ(dec.frame()[2], 0x42);
    EXPECT_EQ(dec.frame()[3], 0x00);
    EXPECT_EQ(Bytes(dec.frame() + 6, dec.frame() + dec.frame_size()).size(), r.info.size());
}

// ------------------------------------------------------------ active rounds

// Polls once: each command the device sends is answered by the responder.
template <class Dev>
void poll_round(poll_test::Poller<Dev>& p, plant::Responder& resp) {
    poll_test::stdout_of([&] {
        p.dev.RefreshStatus();
        std::size_t seen = 0;
        for (int guard = 0; guard < 32; ++guard) {
            const auto sends = p.log.of(HostEvent::Kind::send);
            if (seen >= sends.size()) break;
            const auto& s = sends[seen++];
            const plant::Reply r = ask(resp, s.cid1, s.cid2, Bytes(s.bytes.begin(), s.bytes.end()));
            testing_support::deliver(p.dev, decoded_frame(r.cid1, r.rtn, r.info));
        }
    });
}

TEST(PlantActiveRound, FloatRoundStoresTheFloatsAsSent) {
    SimClock clock;
    plant::Plant plant(plant::PlantShape::typical(4, 1), 21);
    plant::Responder resp(plant, plant::ResponderConfig{});
    poll_test::Poller<PowerDevice> p;
    p.dev.has_dc = 1;
    poll_round(p, resp);
    ASSERT_EQ(p.publishes(), 1u);
    const auto& st = plant.state();
    const pxr52_419_Data_t& rec = p.dev.data;
    EXPECT_EQ(rec.acChannel[0].a.get(), static_cast<float>(st.ac[0].v[0].value));
    EXPECT_EQ(rec.acChannel[0].f.get(), static_cast<float>(st.ac[0].f.value));
    EXPECT_EQ(rec.ia.get(), static_cast<float>(st.ia.value));
    EXPECT_EQ(rec.rc_count, 4);
    EXPECT_EQ(rec.rcChannel[3].i.get(), static_cast<float>(st.rect[3].i.value));
    EXPECT_EQ(rec.dc(0).dc_v.get(), static_cast<float>(st.dc[0].v.value));
    EXPECT_EQ(rec.dc(0).n_count, st.dc[0].branch.size());
    EXPECT_EQ(rec.dc(0).n[5].get(), static_cast<float>(st.dc[0].branch[5].value));
    EXPECT_EQ(rec.dc(0).p[2].get(), static_cast<float>(st.dc[0].user[2].value));
    EXPECT_EQ(rec.rcChannel[0].p41_44_count, 7);
}

TEST(PlantActiveRound, FixedRoundsOfTheModelInBothDcLayouts) {
    for (int layout : {1, 2}) {
        SCOPED_TRACE(layout);
        SimClock clock;
        plant::Plant plant(plant::PlantShape::typical(5, 2), 22);
        plant.fail_rectifier(4);
        plant.step(5.0);
        plant::Responder resp(plant, plant::ResponderConfig{0x01, 0x01, layout});
        poll_test::Poller<pxr52_419> p;
        poll_round(p, resp);
        ASSERT_EQ(p.publishes(), 1u);
        EXPECT_EQ(p.dev.no_dc_number, layout);
        const auto& st = plant.state();
        const pxr52_419_Data_t& rec = p.dev.data;
        auto fx = [](const plant::Reading& r, double scale = 100.0) {
            return static_cast<float>(plant::fixed_code(r, scale)) / static_cast<float>(scale);
        };
        EXPECT_EQ(rec.acChannel[0].b.get(), fx(st.ac[0].v[1]));
        EXPECT_EQ(rec.ic.get(), fx(st.ic));
        EXPECT_EQ(rec.rc_v.get(), fx(st.rc_v));
        EXPECT_EQ(rec.rcChannel[4].fault, 0x01);
        EXPECT_EQ(rec.rcChannel[4].sw_state[0], 0x01);
        EXPECT_EQ(rec.rcChannel[4].p41_44[1], 0x81);
        EXPECT_EQ(rec.dc(0).dc_i.get(), fx(st.dc[0].i));
        EXPECT_EQ(rec.dc(0).m[1].get(), fx(st.dc[0].batt[1]));
        EXPECT_EQ(rec.dc(0).alert_m_count, st.dc[0].fuses.size());
        EXPECT_EQ(rec.p80_42[0].get(), fx(st.model_value[0], 10.0));
        EXPECT_EQ(rec.p80_42[1].get(), fx(st.model_value[1], 10.0));
        if (layout == 2)
            EXPECT_EQ(rec.dc(1).dc_v.get(), fx(st.dc[1].v)) << "second screen decoded";
        else
            EXPECT_EQ(rec.dc(1).dc_v.get(), 0.0f) << "layout 1 carries one screen";
    }
}

}  // namespace
