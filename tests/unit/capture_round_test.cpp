// The capture round: which frames open, feed, drop and close a round, what
// gets published, and that a published record holds only values of accepted
// replies of its window (its own cycle, or the one before after a double loss).
#include <algorithm>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/alloc_counter.hpp"
#include "support/record_window.hpp"
#include "support/test_device.hpp"

namespace {

using smdhost::HostEvent;
using testing_support::Bytes;
using testing_support::CoutCapture;
using testing_support::decoded_frame;
using testing_support::RecordedDevice;
using testing_support::SimClock;
using T = Tarnel_BRELM_PXR52_419;

struct Pair {
    unsigned char cid1;
    unsigned char cid2;
    Bytes reply;
};

void put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<unsigned char>(v >> 8));
    b.push_back(static_cast<unsigned char>(v));
}
unsigned char u8(int v) { return static_cast<unsigned char>(v); }

// The eight command/reply pairs of round n (1..250): every reply carries n
// somewhere, and the counts vary with n, so records of two rounds differ in
// every reply's fields.
std::vector<Pair> round_pairs(int n) {
    const int channels = 1 + n % 2, rcs = 1 + n % 40, screens = 1 + n % 2;
    Bytes ac = {0x00, 0x01, u8(channels)};
    for (int ch = 0; ch < channels; ++ch) {
        for (unsigned v : {22000u + n + ch, 22100u + n, 21900u + n, 5000u}) put16(ac, v);
        ac.push_back(u8(ch));
        ac.insert(ac.end(), 2 * ch, 0x77);
    }
    for (unsigned v : {1000u + n, 1001u + n, 1002u + n}) put16(ac, v);
    const int switches = 1 + n % 8;
    Bytes sw = {0x00, 0x01, u8(switches)};
    for (int k = 0; k < switches; ++k) sw.push_back(u8(n + k));
    sw.push_back(u8(n % 3));
    sw.insert(sw.end(), n % 3, 0x66);
    Bytes al = {0x00, 0x01, u8(channels)};
    for (int ch = 0; ch < channels; ++ch)
        al.insert(al.end(), {u8(n), u8(n + 1), u8(n + 2), u8(n + 3), 1, 0x55, 0});
    al.insert(al.end(), {u8(n), u8(n + 1), u8(n + 2)});
    Bytes ra = {0x00};
    put16(ra, 5300u + n);
    ra.push_back(u8(rcs));
    for (int i = 0; i < rcs; ++i) {
        put16(ra, 100u * i + n);
        ra.push_back(0);
    }
    const int listed = std::max(1, rcs - n % 3);
    Bytes rs = {0x00, u8(listed)};
    for (int i = 0; i < listed; ++i) {
        rs.insert(rs.end(), {u8(n), u8(i), u8(n + i), u8(i % 3)});
        rs.insert(rs.end(), i % 3, u8(0xE0 + i));
    }
    Bytes rf = {0x00, u8(rcs)};
    for (int i = 0; i < rcs; ++i) {
        rf.insert(rf.end(), {u8(n + i), u8((n + i) % 9)});
        rf.insert(rf.end(), (n + i) % 9, u8(0xA0 + i));
    }
    Bytes da = {0x00, u8(screens)}, dl = {0x00, u8(screens)};
    for (int s = 0; s < screens; ++s) {
        put16(da, 4800u + n);
        put16(da, 1000u + n + s);
        for (int count : {n % 4, n % 22, n % 11}) {
            da.push_back(u8(count));
            for (int k = 0; k < count; ++k) put16(da, 300u * k + n);
        }
        dl.insert(dl.end(), {u8(n), u8(n % 45)});
        for (int k = 0; k < n % 45; ++k) dl.push_back(u8(n + k));
        dl.push_back(u8(n % 7));
        dl.insert(dl.end(), n % 7, u8(n));
    }
    return {{0x40, 0x42, ac}, {0x40, 0x43, sw}, {0x40, 0x44, al}, {0x41, 0x42, ra},
            {0x41, 0x43, rs}, {0x41, 0x44, rf}, {0x42, 0x42, da}, {0x42, 0x44, dl}};
}

// Command frame then reply frame; returns the result of the reply.
int feed(T& dev, const Pair& p) {
    EXPECT_EQ(testing_support::deliver(dev, decoded_frame(p.cid1, p.cid2)), 1);
    return testing_support::deliver(dev, decoded_frame(p.cid1, 0x00, p.reply));
}

// Sets the length word of a decoded frame from its size.
void fix_length(Bytes& f) {
    const std::size_t lenid = 2 * (f.size() - 6);
    f[4] = u8(static_cast<int>(lenid & 0xFF));
    f[5] = u8(static_cast<int>(lenid >> 8));
}

int feed_all(T& dev, const std::vector<Pair>& pairs) {
    int last = 1;
    for (const Pair& p : pairs) last = feed(dev, p);
    return last;
}

// The record a clean round n publishes, time stamp left zero.
pxr52_419_Data_t clean_record(int n) {
    CoutCapture quiet;
    T dev;
    dev.data_id = 7;
    EXPECT_EQ(feed_all(dev, round_pairs(n)), 0) << "round " << n;
    pxr52_419_Data_t rec = dev.data;
    std::memset(rec.time, 0, sizeof rec.time);
    return rec;
}

bool same_but_time(const pxr52_419_Data_t& a, const pxr52_419_Data_t& b) {
    return std::memcmp(a.bytes(), b.bytes(), 1046) == 0 &&
           std::memcmp(a.bytes() + 1053, b.bytes() + 1053, 1257 - 1053) == 0;
}

class CaptureRound : public ::testing::Test {
protected:
    SimClock clock;
    CoutCapture quiet;
    RecordedDevice rd;
    T& dev = rd.dev;
    std::size_t published() const { return rd.events(HostEvent::Kind::publish).size(); }
};

TEST_F(CaptureRound, FullRoundPublishesOnceAtTheDcAlarmReply) {
    std::vector<int> results;
    for (const Pair& p : round_pairs(5)) {
        results.push_back(testing_support::deliver(dev, decoded_frame(p.cid1, p.cid2)));
        results.push_back(testing_support::deliver(dev, decoded_frame(p.cid1, 0x00, p.reply)));
    }
    std::vector<int> want(16, 1);
    want.back() = 0;
    EXPECT_EQ(results, want);
    ASSERT_EQ(published(), 1u);
    EXPECT_EQ(dev.data.data_id.get(), 7u);
    EXPECT_TRUE(same_but_time(dev.data, clean_record(5)));
    EXPECT_NE(dev.data.time[0], 0);  // stamped by the publication, not by capture
    EXPECT_EQ(dev.capture.time[0], 0);
    EXPECT_EQ(dev.round_active, 0);
    EXPECT_EQ(dev.RefreshStatus(), 1);
    EXPECT_EQ(dev.refresh_wait, 0);
    EXPECT_TRUE(rd.events(HostEvent::Kind::send).empty());
}

TEST_F(CaptureRound, InsertedPairsWithoutRoundBitsStillPublishOnce) {
    const Pair inserted[] = {{0x40, 0x47, {0x00, 0x01}}, {0x42, 0x47, Bytes(13, 0x01)},
                             {0x42, 0x81, {0x00}}, {0x42, 0xA4, {}}};
    std::vector<Pair> pairs = round_pairs(9);
    for (int k = 0; k < 4; ++k) pairs.insert(pairs.begin() + 1 + 2 * k, inserted[k]);
    EXPECT_EQ(feed_all(dev, pairs), 0);
    EXPECT_EQ(published(), 1u);
    EXPECT_FLOAT_EQ(dev.dc_param1, 2.57f);  // 0x0101 / 100
}

TEST_F(CaptureRound, MissingPairDropsTheRoundAndKeepsThePreviousRecord) {
    ASSERT_EQ(feed_all(dev, round_pairs(3)), 0);
    const pxr52_419_Data_t first = dev.data;
    std::vector<Pair> pairs = round_pairs(4);
    pairs.erase(pairs.begin() + 4);  // no 41/43
    EXPECT_EQ(feed_all(dev, pairs), 1);
    EXPECT_EQ(published(), 1u);
    EXPECT_EQ(std::memcmp(&first, &dev.data, sizeof first), 0);
    EXPECT_EQ(dev.round_active, 0);  // dropped: closed at the DC alarm reply
}

TEST_F(CaptureRound, AcAnalogCommandRestartsARoundInProgress) {
    const std::vector<Pair> old = round_pairs(11);
    for (int k = 0; k < 5; ++k) feed(dev, old[k]);
    testing_support::deliver(dev, decoded_frame(0x40, 0x42));
    pxr52_419_Data_t fresh{};
    fresh.data_id.set(7);
    EXPECT_EQ(std::memcmp(&fresh, &dev.capture, sizeof fresh), 0);
    EXPECT_EQ(dev.round_mask, 0);
    EXPECT_EQ(dev.current_cmd, 1);
    // The old round's bits are gone: without 40/43, 40/44 nothing is published.
    const std::vector<Pair> now = round_pairs(12);
    testing_support::deliver(dev, decoded_frame(0x40, 0x00, now[0].reply));
    EXPECT_EQ(feed_all(dev, std::vector<Pair>(now.begin() + 3, now.end())), 1);
    EXPECT_EQ(published(), 0u);
}

TEST_F(CaptureRound, ResponseRoutingWrongGroupErrorsAndReturnCodes) {
    const std::vector<Pair> pairs = round_pairs(20);
    // Before the first AC analog command everything is ignored.
    for (int k = 1; k < 8; ++k) feed(dev, pairs[k]);
    EXPECT_EQ(dev.round_active, 0);
    EXPECT_EQ(dev.current_cmd, 0);
    const pxr52_419_Data_t zero{};
    EXPECT_EQ(std::memcmp(&dev.capture, &zero, sizeof zero), 0);
    EXPECT_EQ(published(), 0u);

    for (int k = 0; k < 4; ++k) feed(dev, pairs[k]);
    testing_support::deliver(dev, decoded_frame(0x41, 0x43));
    testing_support::deliver(dev, decoded_frame(0x42, 0x00, pairs[4].reply));  // wrong group
    EXPECT_EQ(dev.current_cmd, 6);
    EXPECT_EQ(dev.round_mask, 0x0F);
    testing_support::deliver(dev, decoded_frame(0x41, 0x00, pairs[4].reply));
    EXPECT_EQ(dev.round_mask, 0x1F);
    EXPECT_EQ(dev.current_cmd, 0);

    testing_support::deliver(dev, decoded_frame(0x41, 0x44));
    EXPECT_EQ(dev.deliver_error("checksum"), 1);  // a bad frame forgets the command only
    EXPECT_EQ(dev.current_cmd, 0);
    EXPECT_EQ(dev.round_active, 1);
    testing_support::deliver(dev, decoded_frame(0x42, 0x81, {0x01}));  // return code 0x81
    EXPECT_EQ(dev.current_cmd, 11);
    testing_support::deliver(dev, decoded_frame(0x41, 0x44));
    testing_support::deliver(dev, decoded_frame(0x41, 0x04));  // error reply: unknown command
    EXPECT_EQ(dev.current_cmd, 13);
    testing_support::deliver(dev, decoded_frame(0x41, 0x00, pairs[5].reply));
    EXPECT_EQ(dev.round_mask, 0x1F);
    for (int k = 5; k < 8; ++k) feed(dev, pairs[k]);
    EXPECT_EQ(published(), 1u);
    testing_support::deliver(dev, decoded_frame(0x42, 0x81));  // outside a round: forgotten
    EXPECT_EQ(dev.current_cmd, 0);
}

TEST_F(CaptureRound, RefusedRepliesAndADoubleLoss) {
    // A refused two-screen DC reply (another reading, cut short), then the
    // accepted one-screen reply: nothing of the refused one is published.
    std::vector<Pair> pairs = round_pairs(32);
    Pair cut = round_pairs(33)[6];
    cut.reply.pop_back();
    for (int k = 0; k < 6; ++k) feed(dev, pairs[k]);
    EXPECT_EQ(feed(dev, cut), 1);
    EXPECT_EQ(dev.current_cmd, 8);  // still awaited
    EXPECT_EQ(dev.dc_number, 2);
    feed(dev, pairs[6]);
    feed(dev, cut);  // asked again at once: the accepted reply stays
    EXPECT_EQ(feed(dev, pairs[7]), 0);
    const dcScreen_t zero{};
    EXPECT_EQ(std::memcmp(&dev.data.dc(1), &zero, sizeof zero), 0);
    EXPECT_TRUE(same_but_time(dev.data, clean_record(32)));

    // Round 40 loses its DC alarm reply and round 41 its AC analog command:
    // round 40 stays open and 41's replies complete it. 41's AC analog reply
    // finds the DC alarm command awaited and is ignored, so the record has
    // round 40's AC analog values and round 41's for the rest.
    const std::vector<Pair> a = round_pairs(40), b = round_pairs(41);
    for (int k = 0; k < 7; ++k) feed(dev, a[k]);
    testing_support::deliver(dev, decoded_frame(0x42, 0x44));
    testing_support::deliver(dev, decoded_frame(0x40, 0x00, b[0].reply));
    EXPECT_EQ(feed_all(dev, std::vector<Pair>(b.begin() + 1, b.end())), 0);
    EXPECT_EQ(published(), 2u);
    const pxr52_419_Data_t r40 = clean_record(40), r41 = clean_record(41);
    EXPECT_EQ(dev.data.ia.get(), r40.ia.get());
    EXPECT_EQ(dev.data.rc_v.get(), r41.rc_v.get());
    EXPECT_EQ(dev.data.dc0.dc_v.get(), r41.dc0.dc_v.get());
    EXPECT_EQ(testing_support::foreign_field(dev.data.bytes(), {r40.bytes(), r41.bytes()}), nullptr);
}

// Line faults applied to one frame of a stream of rounds.
enum class Fault { none, lost, bad, duplicated, refused, error_code, asked_again };

struct FaultAt {
    int frame;  // index in the stream: round * 16 + pair * 2 + (1 for the reply)
    Fault fault;
};

// Three clean rounds, every single fault and every pair of faults on their 48
// frames. A record published in round r is exactly round r's, except after
// the double loss of round r-1's DC alarm pair and round r's AC analog
// command: then every value in it is round r's or round r-1's. A refused
// reply is another round's reply cut short by one byte, so whatever it writes
// before it is refused differs from the values of both; "asked_again"
// repeats the pair at once with such a reply.
TEST(CaptureRoundFaults, PublishedValuesComeFromTheirWindowWithUpToTwoFaults) {
    CoutCapture quiet;
    constexpr int kRounds = 3;
    std::vector<pxr52_419_Data_t> clean;
    std::vector<Bytes> commands, replies, cut_replies;  // per pair of the stream
    for (int r = 0; r < kRounds; ++r) {
        clean.push_back(clean_record(51 + r));
        const std::vector<Pair> own = round_pairs(51 + r), other = round_pairs(151 + r);
        for (std::size_t k = 0; k < own.size(); ++k) {
            commands.push_back(decoded_frame(own[k].cid1, own[k].cid2));
            replies.push_back(decoded_frame(own[k].cid1, 0x00, own[k].reply));
            cut_replies.push_back(decoded_frame(own[k].cid1, 0x00, other[k].reply));
            cut_replies.back().pop_back();
            fix_length(cut_replies.back());
        }
    }
    std::vector<FaultAt> faults = {{-1, Fault::none}};
    for (int f = 0; f < kRounds * 16; ++f) {
        for (Fault k : {Fault::lost, Fault::bad, Fault::duplicated}) faults.push_back({f, k});
        if (f % 2 == 1)
            for (Fault k : {Fault::refused, Fault::error_code, Fault::asked_again}) faults.push_back({f, k});
    }
    std::size_t foreign = 0, publications = 0, scenarios = 0, stale = 0;
    for (std::size_t x = 0; x < faults.size(); ++x) {
        for (std::size_t y = x + 1; y < faults.size(); ++y) {
            if (faults[x].frame == faults[y].frame) continue;
            ++scenarios;
            // True when the fault on `frame` keeps the device from taking it.
            auto lost = [&](int frame) {
                for (const FaultAt& a : {faults[x], faults[y]})
                    if (a.frame == frame)
                        return a.fault == Fault::lost || a.fault == Fault::bad || a.fault == Fault::refused ||
                               a.fault == Fault::error_code;
                return false;
            };
            T dev;
            dev.data_id = 7;
            for (int f = 0; f < kRounds * 16; ++f) {
                const int r = f / 16;
                const Bytes& command = commands[f / 2];
                const Bytes& cut = cut_replies[f / 2];
                auto send = [&](const Bytes& frame) {
                    if (testing_support::deliver(dev, frame) != 0) return;
                    ++publications;
                    const bool carried_over = r > 0 && lost(16 * r) && (lost(16 * r - 2) || lost(16 * r - 1));
                    stale += carried_over;
                    const bool ok = carried_over ? testing_support::foreign_field(
                                                       dev.data.bytes(), {clean[r].bytes(), clean[r - 1].bytes()}) ==
                                                       nullptr
                                                 : same_but_time(dev.data, clean[r]);
                    if (!ok && foreign++ == 0)
                        ADD_FAILURE() << "round " << r << " holds a value from outside its window; faults at frames "
                                      << faults[x].frame << " (" << int(faults[x].fault) << ") and "
                                      << faults[y].frame << " (" << int(faults[y].fault) << ")";
                };
                const Fault fault = faults[x].frame == f   ? faults[x].fault
                                    : faults[y].frame == f ? faults[y].fault
                                                           : Fault::none;
                if (fault == Fault::lost) continue;
                if (fault == Fault::bad) {
                    dev.deliver_error("checksum");
                    continue;
                }
                const Bytes& frame = f % 2 == 0 ? command : fault == Fault::refused ? cut : replies[f / 2];
                if (fault == Fault::error_code) {
                    Bytes error_reply = frame;
                    error_reply[3] = 0x04;
                    send(error_reply);
                    continue;
                }
                send(frame);
                if (fault == Fault::duplicated) send(frame);
                if (fault == Fault::asked_again) {
                    send(command);
                    send(cut);
                }
            }
        }
    }
    EXPECT_EQ(foreign, 0u);
    EXPECT_GT(publications, scenarios);  // most scenarios still publish some rounds
    EXPECT_GT(stale, 0u);                // and the double losses were among them
}

TEST(CaptureAllocation, OnlyTheFramePublishingARoundMayAllocate) {
    CoutCapture quiet;
    T dev;  // no listener: the host layer records nothing
    dev.data_id = 7;
    std::vector<Bytes> frames;
    for (int n : {6, 7}) {
        std::vector<Pair> pairs = round_pairs(n);
        pairs.insert(pairs.begin() + 2, Pair{0x42, 0x47, Bytes(13, 0x02)});
        for (const Pair& p : pairs) {
            frames.push_back(decoded_frame(p.cid1, p.cid2));
            Bytes cut = decoded_frame(p.cid1, 0x00, p.reply);
            cut.pop_back();
            fix_length(cut);
            frames.push_back(cut);  // refused; the command stays awaited
            frames.push_back(decoded_frame(p.cid1, 0x00, p.reply));
        }
    }
    int rounds = 0;
    for (const Bytes& f : frames) {
        testing_support::AllocationScope scope;
        if (testing_support::deliver(dev, f) == 0)
            ++rounds;
        else
            EXPECT_EQ(scope.allocations(), 0u) << "CID1 " << int(f[2]) << " CID2 " << int(f[3]);
    }
    EXPECT_EQ(rounds, 2);
    testing_support::AllocationScope scope;
    dev.deliver_error("hex");
    EXPECT_EQ(scope.allocations(), 0u);
}

TEST(CaptureAllocation, CounterCountsThisThreadOnly) {
    // Called as functions: new-expressions may be elided by the compiler.
    testing_support::AllocationScope scope;
    ::operator delete(::operator new(16));
    ::operator delete[](::operator new[](16, std::align_val_t{64}), std::align_val_t{64});
    EXPECT_EQ(scope.allocations(), 2u);
    std::size_t other = 0;
    std::thread([&other] {
        testing_support::AllocationScope s;
        for (int k = 0; k < 100; ++k) ::operator delete(::operator new(8));
        other = s.allocations();
    }).join();
    EXPECT_EQ(other, 100u);
    EXPECT_LT(scope.allocations(), 50u);  // the thread's own state, not its 100 ints
}

}  // namespace
