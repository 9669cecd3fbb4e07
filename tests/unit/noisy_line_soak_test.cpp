// Noisy-line soak: thousands of simulated interrogation rounds go through
// the shipped device's protocol engine as raw line bytes, in chunks of any
// size, with frames corrupted, cut short, lost, doubled, answered with an
// error code, split by another frame, and interleaved with line garbage and
// foreign command pairs.
//
// The rounds come from the plant simulator (clean frames and, for each round,
// the record a correct capture publishes); the damage is done here, from a
// seeded generator, so every failure replays.
//
// What must hold for every round:
//   - every value published while the round's bytes go through was carried
//     by an accepted reply of the round's window: the round itself, and the
//     rounds before it for as long as each lost its DC alarm pair while the
//     next lost its AC analog command (the open round then goes on). With
//     the round alone in its window, the record is its truth byte for byte
//     except the time stamp. No refused or damaged reply reaches the record;
//   - at most one record is published per round;
//   - a round that came through undamaged is published exactly once.
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/record.hpp"
#include "device/tarnel_brelm_pxr52_419.hpp"
#include "host/frame_codec.hpp"
#include "host/host_event.hpp"
#include "support/record_window.hpp"
#include "support/test_device.hpp"
#include "tools/plant/plant_model.hpp"
#include "tools/plant/trace.hpp"

namespace {

using testing_support::CoutCapture;
using testing_support::SimClock;

constexpr std::size_t kTimeOffset = 1046;
constexpr std::size_t kTimeBytes = 7;
constexpr unsigned kDataId = 4242;

enum class Damage {
    none,
    corrupted,    // one character after SOI replaced
    truncated,    // cut short, no end of frame
    lost,         // never on the line
    duplicated,   // sent twice in a row
    error_code,   // a response that carries a non-zero return code
    split,        // a foreign frame starts inside it (it is broken)
    garbage,      // line garbage (no SOI) after it; the frame itself is intact
    foreign_pair, // an unrelated command/response pair after a response
};

// Keeps every published record.
class Publications : public smdhost::HostListener {
public:
    std::vector<std::vector<unsigned char>> records;
    void on_event(const smdhost::HostEvent& e) override {
        if (e.kind == smdhost::HostEvent::Kind::publish) records.push_back(e.bytes);
    }
};

class NoisyLine {
public:
    NoisyLine(double damage_share, std::uint64_t seed) : share_(damage_share), rng_(seed) {}

    // What the damage did to one round's frames.
    struct Harm {
        bool any = false;        // some frame may have been lost to the device
        bool opening = false;    // its AC analog command (which restarts the round)
        bool closing = false;    // its DC alarm command or response (which ends it)
    };

    // The line bytes of one round, and what the damage can have cost it. The
    // round's first frame is the AC analog command, its last two are the DC
    // alarm pair (inserted pairs come before them).
    std::string play(const plant::TraceRound& round, Harm& harm, int (&tally)[9]) {
        std::string line;
        harm = Harm{};
        const std::size_t frames = round.frames.size();
        for (std::size_t k = 0; k < frames; ++k) {
            const plant::WireFrame& f = round.frames[k];
            const Damage d = pick(f);
            ++tally[static_cast<int>(d)];
            if (d != Damage::none && d != Damage::garbage && d != Damage::foreign_pair &&
                d != Damage::duplicated) {
                harm.any = true;
                harm.opening = harm.opening || k == 0;
                harm.closing = harm.closing || k + 2 >= frames;
            }
            apply(d, f, line);
        }
        return line;
    }

    // Chunk sizes for process(): 1 to 96 bytes.
    std::size_t chunk() { return 1 + static_cast<std::size_t>(rng_.below(96)); }

private:
    Damage pick(const plant::WireFrame& f) {
        if (!rng_.chance(share_)) return Damage::none;
        static const Damage kAll[] = {Damage::corrupted, Damage::truncated, Damage::lost,
                                      Damage::duplicated, Damage::error_code, Damage::split,
                                      Damage::garbage, Damage::foreign_pair};
        Damage d = kAll[rng_.below(8)];
        if (d == Damage::error_code && f.command) d = Damage::lost;
        // A foreign exchange between a command and its response takes the
        // place of the awaited command (a real loss); between two
        // exchanges it must change nothing.
        if (d == Damage::foreign_pair && f.command) d = Damage::garbage;
        return d;
    }

    void apply(Damage d, const plant::WireFrame& f, std::string& line) {
        const std::string& s = f.frame;  // "~" 16+ characters "\r"
        switch (d) {
            case Damage::none:
                line += s;
                break;
            case Damage::corrupted: {
                std::string bad = s;
                const std::size_t pos = 1 + static_cast<std::size_t>(rng_.below(static_cast<int>(s.size()) - 2));
                static const char kChars[] = "0123456789ABCDEFGZ ?";
                char c = bad[pos];
                while (c == bad[pos])
                    c = kChars[rng_.below(sizeof kChars - 1)];
                bad[pos] = c;
                line += bad;
                break;
            }
            case Damage::truncated:
                line += s.substr(0, 1 + static_cast<std::size_t>(rng_.below(static_cast<int>(s.size()) - 2)));
                break;
            case Damage::lost:
                break;
            case Damage::duplicated:
                line += s;
                line += s;
                break;
            case Damage::error_code: {
                // The same response with RTN 0x04 (unknown command), framed anew.
                const std::vector<unsigned char> frame = decode(s);
                line += smdhost::encode_frame(frame[0], frame[1], frame[2], 0x04, frame.data() + 6,
                                              frame.size() - 6);
                break;
            }
            case Damage::split: {
                const std::size_t cut = 1 + static_cast<std::size_t>(rng_.below(static_cast<int>(s.size()) - 2));
                line += s.substr(0, cut);
                line += foreign_command();
                line += s.substr(cut);  // no SOI in it: skipped as noise
                break;
            }
            case Damage::garbage:
                line += s;
                for (int n = rng_.between(1, 40); n > 0; --n) {
                    char c = static_cast<char>(rng_.below(256));
                    if (c == '~') c = '#';
                    line += c;
                }
                break;
            case Damage::foreign_pair: {
                line += s;
                // A 42/81 or 42/A4 exchange: accepted without decoding, sets no bit.
                const unsigned char cid2 = rng_.chance(0.5) ? 0x81 : 0xA4;
                line += smdhost::encode_frame(0x20, 0x01, 0x42, cid2, nullptr, 0);
                line += smdhost::encode_frame(0x20, 0x01, 0x42, 0x00, nullptr, 0);
                break;
            }
        }
    }

    std::string foreign_command() {
        const unsigned char group = 0xFF;
        return smdhost::encode_frame(0x20, 0x01, 0x42, 0x47, &group, 1);
    }

    static std::vector<unsigned char> decode(const std::string& s) {
        smdhost::FrameDecoder d;
        for (unsigned char c : s)
            if (d.push(c) == smdhost::FrameDecoder::Status::frame)
                return std::vector<unsigned char>(d.frame(), d.frame() + d.frame_size());
        ADD_FAILURE() << "a clean frame from the simulator does not decode";
        return std::vector<unsigned char>(6, 0);
    }

    double share_;
    plant::Rng rng_;
};

struct SoakCase {
    const char* name;
    plant::PlantShape shape;
    int rounds;
    double damage;  // share of frames damaged
    std::uint64_t seed;
};

void PrintTo(const SoakCase& c, std::ostream* os) { *os << c.name; }

class NoisyLineSoak : public ::testing::TestWithParam<SoakCase> {};

TEST_P(NoisyLineSoak, EveryPublishedValueComesFromAnAcceptedReplyOfItsWindow) {
    const SoakCase& c = GetParam();
    SimClock clock;
    CoutCapture quiet;  // the plug-in logs every round

    plant::TraceConfig config;
    config.shape = c.shape;
    config.rounds = c.rounds;
    config.noise = 0.0;  // clean frames: the damage is done below
    config.seed = c.seed;
    config.data_id = kDataId;
    config.event_rate = 3.0;  // mains failures, faults, fuses, invalid readings
    plant::TraceGenerator gen(config);

    Tarnel_BRELM_PXR52_419 dev;
    Publications pubs;
    dev.host_listener = &pubs;
    dev.data_id = kDataId;
    dev.b_mode = 3;  // no threshold file, no rules: the capture is what is soaked

    NoisyLine noise(c.damage, c.seed * 7919 + 1);
    int tally[9] = {};
    int published = 0;
    int clean = 0;
    // Truth and harm of the rounds so far, for the windows.
    std::vector<pxr52_419_Data_t> truths;
    std::vector<NoisyLine::Harm> harms;
    for (int r = 0; r < c.rounds; ++r) {
        const plant::TraceRound round = gen.next_round();
        NoisyLine::Harm harm;
        std::string line = noise.play(round, harm, tally);
        truths.push_back(round.truth);
        harms.push_back(harm);

        const std::size_t before = pubs.records.size();
        for (std::size_t at = 0; at < line.size();) {
            const std::size_t n = std::min(noise.chunk(), line.size() - at);
            dev.process(reinterpret_cast<unsigned char*>(&line[at]), static_cast<unsigned>(n));
            at += n;
        }
        clock.advance(config.interval);

        const std::size_t got = pubs.records.size() - before;
        ASSERT_LE(got, 1u) << c.name << " round " << round.number << " published twice";
        if (!harm.any) {
            ++clean;
            ASSERT_EQ(got, 1u) << c.name << " round " << round.number
                               << " came through undamaged but was not published";
        }
        if (got == 1) {
            ++published;
            const std::vector<unsigned char>& rec = pubs.records.back();
            ASSERT_EQ(rec.size(), sizeof(pxr52_419_Data_t));
            int first = r;
            while (first > 0 && harms[first].opening && harms[first - 1].closing) --first;
            if (first == r) {
                const unsigned char* truth = truths[r].bytes();
                for (std::size_t k = 0; k < rec.size(); ++k) {
                    if (k >= kTimeOffset && k < kTimeOffset + kTimeBytes) continue;
                    ASSERT_EQ(rec[k], truth[k]) << c.name << " round " << round.number
                                                << ": record byte " << k << " differs from the truth";
                }
            } else {
                std::vector<pxr52_419_Data_t> writes;
                for (int k = first; k <= r; ++k) {
                    writes.push_back(truths[k]);
                    writes.push_back(testing_support::rectifier_analog_writes(truths[k]));
                }
                std::vector<const unsigned char*> window;
                for (const auto& w : writes) window.push_back(w.bytes());
                const testing_support::RecordField* f = testing_support::foreign_field(rec.data(), window);
                ASSERT_EQ(f, nullptr) << c.name << " round " << round.number << ": the value at record offset "
                                      << f->offset << " is in none of rounds " << first << " to " << r;
            }
        }
    }
    // The damage mix really happened, and the line was not so bad that
    // nothing got through.
    for (int d = 1; d < 9; ++d) EXPECT_GT(tally[d], 0) << c.name << " damage kind " << d << " never drawn";
    EXPECT_GT(clean, c.rounds / 3) << c.name;
    EXPECT_GE(published, clean) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, NoisyLineSoak,
    ::testing::Values(
        SoakCase{"typical", plant::PlantShape::typical(6, 1), 4000, 0.03, 11},
        SoakCase{"full", plant::PlantShape::typical(40, 2), 1500, 0.03, 12},
        SoakCase{"over_capacity", plant::PlantShape::varied(17, 2, 13), 3000, 0.04, 13}),
    [](const ::testing::TestParamInfo<SoakCase>& info) { return std::string(info.param.name); });

}  // namespace
