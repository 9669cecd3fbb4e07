// One capture round for an instruction-count profile:
//
//     round_once MODE RECTIFIERS
//
// Builds the round (two DC screens) and a device in the steady state of
// threshold mode MODE (as the round benchmarks do), then plays exactly one
// more round inside measured_round(). scripts/callgrind.sh runs this under
// callgrind with collection switched on only inside that function, so the
// count is one round's frames, RoundDone included, and nothing of the set-up.
// Exits 0 when that round was published as the plant reported it.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/fixtures.hpp"

namespace {

constexpr int kScreens = 2;

__attribute__((noinline)) int measured_round(Tarnel_BRELM_PXR52_419& dev,
                                             const bench::CaptureRound& round) {
    return bench::play(dev, round);
}

bool parse_int(const char* text, int lo, int hi, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int mode = 0;
    int rectifiers = 0;
    if (argc != 3 || !parse_int(argv[1], 0, 9, mode) || !parse_int(argv[2], 1, 40, rectifiers)) {
        std::fprintf(stderr, "usage: round_once MODE(0-9) RECTIFIERS(1-40)\n");
        return 2;
    }
    const bench::CaptureRound round = bench::make_capture_round(rectifiers, kScreens);
    auto dev = bench::make_device(mode);
    int published = 0;
    {
        bench::QuietOutput quiet;
        bench::play(*dev, round);
        if (mode == 2) bench::prime_mode2(*dev);
        bench::play(*dev, round);
        published = measured_round(*dev, round);
    }
    if (published != 1 || !bench::publishes_truth(*dev, round)) {
        std::fprintf(stderr, "round_once: the round was not published as the plant reported it\n");
        return 1;
    }
    return 0;
}
