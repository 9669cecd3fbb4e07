// The shipped capture device fed sequences of decoded frames, built from
// the input so that the fuzzer picks commands and responses of the round
// and their information bytes; frames reach the decoders past the line
// checksum. Bad frames, Reset, RefreshStatus and time steps interleave.
//
// Input:  b_mode | settings | host maps | steps...
//   step  s < 0xC0: a frame. s % 13 picks the command (12 = raw CID1 and
//                   CID2 bytes follow); (s / 13) % 3: 0 the command itself,
//                   1 its response (RTN 0), 2 a response with the RTN byte
//                   that follows. Then the information length (u8; 255:
//                   u16 follows) and the information bytes.
//         0xC0..0xCF  a bad frame (process_error)
//         0xD0..0xDF  clock step of u8 seconds, then Reset
//         0xE0..0xEF  RefreshStatus
//         0xF0..0xFF  a frame whose length word claims more than it holds
//
// Properties: every published record keeps the capture guarantees (counts
// within capacity, reserved bytes and 0x80/0x42 values zero, data id at
// offset 0); process_payload returns 0 exactly when it published.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_devices.hpp"

namespace {

struct Command {
    unsigned char cid1;
    unsigned char cid2;
};
const Command kCommands[] = {
    {0x40, 0x42}, {0x40, 0x43}, {0x40, 0x44}, {0x40, 0x47}, {0x41, 0x42}, {0x41, 0x43},
    {0x41, 0x44}, {0x42, 0x42}, {0x42, 0x44}, {0x42, 0x47}, {0x42, 0x81}, {0x42, 0xA4},
};
constexpr unsigned kCommandCount = sizeof kCommands / sizeof kCommands[0];

// Decoded frame of exactly 6 + info bytes (ASan sees any read beyond it).
fuzzing::Bytes frame(unsigned char cid1, unsigned char cid2, const fuzzing::Bytes& info,
                     unsigned claimed_info) {
    const unsigned lenid = claimed_info * 2;
    fuzzing::Bytes f = {0x20, 0x01, cid1, cid2, static_cast<unsigned char>(lenid & 0xFF),
                        static_cast<unsigned char>(lenid >> 8)};
    f.insert(f.end(), info.begin(), info.end());
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::init_process();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::Input in(data, size);
    fuzzing::reset_clock();
    Tarnel_BRELM_PXR52_419 dev;
    fuzzing::CheckingListener listener;
    listener.capture_mode = true;
    dev.host_listener = &listener;
    dev.data_id = 0x01020304;
    dev.b_mode = fuzzing::threshold_mode(in);
    fuzzing::configure(dev, in);
    fuzzing::host_maps(dev, in);

    for (int steps = 0; !in.empty() && steps < 256; ++steps) {
        const std::uint8_t s = in.u8();
        if (s < 0xC0) {
            const unsigned pick = s % 13;
            const unsigned kind = (s / 13) % 3;
            unsigned char cid1;
            unsigned char cid2;
            if (pick < kCommandCount) {
                cid1 = kCommands[pick].cid1;
                cid2 = kCommands[pick].cid2;
            } else {
                cid1 = in.u8();
                cid2 = in.u8();
            }
            if (kind == 1) cid2 = 0;
            if (kind == 2) cid2 = in.u8();
            unsigned len = in.u8();
            if (len == 255) len = in.u16() % (smdhost::kMaxInfoBytes + 1);
            const fuzzing::Bytes info = in.bytes(len);
            const fuzzing::Bytes f = frame(cid1, cid2, info, static_cast<unsigned>(info.size()));
            const int before = listener.published;
            const int result = dev.deliver_frame(f.data(), static_cast<int>(f.size()));
            const bool published = listener.published != before;
            fuzzing::check((result == 0) == published, "result 0 exactly when published");
            if (published) {
                pxr52_419_Data_t r;
                std::memcpy(&r, listener.last_record.data(), sizeof r);
                fuzzing::check(r.data_id.get() == dev.data_id, "data id at offset 0");
            }
        } else if (s < 0xD0) {
            dev.deliver_error("checksum");
        } else if (s < 0xE0) {
            smdhost::sim_clock::advance(in.u8());
            dev.Reset();
        } else if (s < 0xF0) {
            dev.RefreshStatus();
        } else {
            const fuzzing::Bytes info = in.bytes(in.u8());
            const fuzzing::Bytes f =
                frame(in.u8(), 0, info, static_cast<unsigned>(info.size()) + 1 + (s & 0x0F));
            const int before = listener.published;
            dev.deliver_frame(f.data(), static_cast<int>(f.size()));
            fuzzing::check(listener.published == before, "a short frame publishes nothing");
        }
    }
    return 0;
}
