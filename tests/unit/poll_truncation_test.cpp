// Every poll decoder on every prefix of a complete reply. Each prefix sits in
// a heap block of exactly its size, so a read past it is caught when the
// tests run under AddressSanitizer (-DSMD_SANITIZE=ON). A truncated reply
// must give the decoder's short-reply result and may only write what the
// complete reply writes: a record byte ends either unchanged or as the
// complete decode left it, never holding something made up from missing bytes.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "poll_test_support.hpp"

using namespace poll_test;

namespace {

using Decoder = int (PowerDevice::*)(const unsigned char*, int);

struct Case {
    const char* name;
    Decoder decode;
    std::function<void(PowerDevice&)> setup;
    Bytes reply;
    bool never_refuses;  // reports the consumed count (> len) instead of -1
};

Bytes fl(std::initializer_list<float> values) {
    Bytes r;
    for (float v : values) put_fl(r, v);
    return r;
}
Bytes fx(std::initializer_list<double> values) {
    Bytes r;
    for (double v : values) put_fx(r, v);
    return r;
}

// The parts, one after the other.
Bytes seq(std::initializer_list<Bytes> parts) {
    Bytes r;
    for (const Bytes& p : parts) r.insert(r.end(), p.begin(), p.end());
    return r;
}

void tower(PowerDevice& d) { d.has_tower = 1; }

std::vector<Case> cases() {
    // AC channel with a tower block of one value and one user value.
    const Bytes ac_fl_channel = seq({fl({230, 231, 232, 50}), {1}, fl({30}), {1}, fl({9})});
    const Bytes ac_fx_channel = seq({fx({230, 231, 232, 50}), {1}, fx({9})});
    // DC screen: 2 battery groups, 1 branch, 2 user values.
    const Bytes dc_fl = seq({fl({53.5f, 20}), {2}, fl({1, 2}), {1}, fl({3}), {2}, fl({4, 5})});
    const Bytes dc_fx = seq({fx({53.5, 20}), {2}, fx({1, 2}), {1}, fx({3}), {2}, fx({4, 5})});
    const Bytes dc_alarms = {1, 3, 0, 1, 0, 2, 1, 1};
    auto rc2 = [](PowerDevice& d) {
        d.has_tower = 1;
        d.data.rc_count = 2;
    };
    return {
        {"40_41", &PowerDevice::parse40_41, tower,
         seq({{2}, ac_fl_channel, ac_fl_channel, fl({10, 11, 12})}), false},
        {"40_41 model", &PowerDevice::parse40_41,
         [](PowerDevice& d) { d.device_type = "hulm27_k300v20_419"; },
         seq({{1}, fl({230, 231, 232, 50}), {0}, fl({1}), fl({10, 11, 12})}), false},
        {"40_42", &PowerDevice::parse40_42, nullptr,
         seq({{2}, ac_fx_channel, ac_fx_channel, fx({10, 11, 12})}), false},
        {"40_43", &PowerDevice::parse40_43, tower, {3, 1, 0, 1, 2, 9, 9, 0}, false},
        {"40_44", &PowerDevice::parse40_44, tower,
         {2, 1, 2, 3, 4, 1, 7, 1, 8, 0, 5, 6, 7, 8, 0, 0, 0, 1, 2, 3}, true},
        {"41_41", &PowerDevice::parse41_41,
         [](PowerDevice& d) {
             d.has_tower = 1;
             d.skip_41_41 = 2;
         },
         seq({{0}, fl({53.5f}), {2}, fl({10}), {1}, fl({30}), {1}, fl({7}), {9, 9}, fl({12}),
              {0, 0, 9, 9}}),
         false},
        {"41_42", &PowerDevice::parse41_42, nullptr,
         seq({{0}, fx({53.5}), {2}, fx({10}), {1}, fx({7}), fx({12}), {0}}), false},
        {"41_43", &PowerDevice::parse41_43, rc2, {0, 2, 1, 0, 1, 1, 9, 1, 4, 0, 1, 0, 0, 0}, false},
        {"41_44", &PowerDevice::parse41_44, rc2, {0, 2, 3, 1, 9, 2, 5, 6, 4, 0, 1, 7}, false},
        {"42_41", &PowerDevice::parse42_41, nullptr, dc_fl, false},
        {"42_41_2", &PowerDevice::parse42_41_2, nullptr, dc_fl, false},
        {"42_42", &PowerDevice::parse42_42, nullptr, dc_fx, false},
        {"42_42_2", &PowerDevice::parse42_42_2, nullptr, dc_fx, false},
        {"42_44", &PowerDevice::parse42_44, nullptr, dc_alarms, false},
        {"42_44_2", &PowerDevice::parse42_44_2, nullptr, dc_alarms, false},
    };
}

// A device whose record is all 0x5A (so untouched bytes are recognisable),
// set up for the case.
std::unique_ptr<PowerDevice> make(const Case& c) {
    auto d = std::make_unique<PowerDevice>();
    std::memset(d->data.bytes(), 0x5A, sizeof d->data);
    if (c.setup) c.setup(*d);
    return d;
}

TEST(PollDecoderTruncation, EveryDecoderAtEveryLength) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const int full_len = static_cast<int>(c.reply.size());
        auto full = make(c);
        int full_result = 0;
        stdout_of([&] { full_result = ((*full).*c.decode)(c.reply.data(), full_len); });
        ASSERT_EQ(full_result, full_len) << "the complete reply decodes whole";

        for (int len = 0; len < full_len; ++len) {
            SCOPED_TRACE(len);
            std::unique_ptr<unsigned char[]> block(new unsigned char[len]);
            std::copy(c.reply.begin(), c.reply.begin() + len, block.get());
            auto dev = make(c);
            const pxr52_419_Data_t before = dev->data;
            int result = 0;
            stdout_of([&] { result = ((*dev).*c.decode)(block.get(), len); });
            if (c.never_refuses)
                EXPECT_GT(result, len);
            else
                EXPECT_EQ(result, -1);
            for (int k = 0; k < PXR52_419_RECORD_SIZE; ++k) {
                const unsigned char now = dev->data.bytes()[k];
                if (now != before.bytes()[k] && now != full->data.bytes()[k]) {
                    ADD_FAILURE() << "record byte " << k << " holds " << int(now);
                    break;
                }
            }
        }
        // Negative lengths (a caller's offset past the end) read nothing.
        auto dev = make(c);
        int result = 0;
        stdout_of([&] { result = ((*dev).*c.decode)(c.reply.data(), -3); });
        if (c.never_refuses)
            EXPECT_GT(result, 0);
        else
            EXPECT_EQ(result, -1);
        EXPECT_EQ(0, std::memcmp(dev->data.bytes(), make(c)->data.bytes(), PXR52_419_RECORD_SIZE));
    }
}

}  // namespace
