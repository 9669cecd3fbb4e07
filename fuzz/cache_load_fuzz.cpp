// A cached record of arbitrary content handed back by the host, then the
// whole round-closing path: RoundDone with the rule sets of every threshold
// mode over random settings, level, threshold and change-of-value maps, and
// the look-ups and Reset that follow.
//
// Input:  kind | b_mode | settings | host maps | threshold tables |
//         length choice | age step | record bytes (1257, zero-padded)
//
// Properties: a 1257-byte record is published exactly as given except the
// 7 time-stamp bytes; any other length is refused with 0 and publishes
// nothing; look-ups throw nothing but std::out_of_range.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "fuzz/fuzz_devices.hpp"

namespace {

constexpr std::size_t kTimeOffset = 1046;
constexpr std::size_t kTimeBytes = 7;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::init_process();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::Input in(data, size);
    fuzzing::reset_clock();
    auto dev = fuzzing::make_device(static_cast<fuzzing::DeviceKind>(in.u8() % 3));
    fuzzing::CheckingListener listener;
    dev->host_listener = &listener;
    dev->data_id = 5535;
    dev->b_mode = fuzzing::threshold_mode(in);
    fuzzing::configure(*dev, in);
    fuzzing::host_maps(*dev, in);
    fuzzing::threshold_tables(*dev, in);

    static const int kLengths[] = {PXR52_419_RECORD_SIZE, PXR52_419_RECORD_SIZE - 1,
                                   PXR52_419_RECORD_SIZE + 1, 0};
    const int len = in.pick(kLengths);
    const int age_step = in.u8();
    fuzzing::Bytes record = in.bytes(PXR52_419_RECORD_SIZE + 1);
    record.resize(static_cast<std::size_t>(len), 0);  // exactly len bytes: ASan sees any overrun

    const int result = dev->LoadFromCache(record.data(), len);
    if (len != PXR52_419_RECORD_SIZE) {
        fuzzing::check(result == 0 && listener.published == 0, "wrong length refused");
    } else {
        fuzzing::check(result == 1 && listener.published == 1, "1257 bytes accepted");
        const fuzzing::Bytes& out = listener.last_record;
        for (std::size_t k = 0; k < record.size(); ++k)
            if (k < kTimeOffset || k >= kTimeOffset + kTimeBytes)
                fuzzing::check(out[k] == record[k], "record published as loaded");
        fuzzing::check(dev->rule_values.empty(), "queued rules submitted and cleared");
    }

    smdhost::sim_clock::advance(age_step);
    dev->Reset();
    for (const char* name : {"out_v", "ac", "ac1", "ac2", "dc"}) {
        try {
            (void)dev->Get_Value(0, name);
        } catch (const std::out_of_range&) {
        }
    }
    // A second round over the same record: the rules' kept state (mode-5
    // active flags, change-of-value entries) is exercised once more.
    if (len == PXR52_419_RECORD_SIZE) dev->LoadFromCache(record.data(), len);
    return 0;
}
