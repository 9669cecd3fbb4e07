// The active-mode decoders and sequencer of a pxr52_419 and of the base
// PowerDevice: every decoder called directly with any length (negative ones
// included, as the sequencer can compute them), and frames delivered at
// every cmd_state, with settings that switch the optional layouts on.
//
// Input:  kind | b_mode | settings | host maps | steps...
//   step  s < 0x80: set cmd_state (s % 16 picks a state; 15: i32 follows),
//                   then a frame: CID1, RTN, information length (u8; 255:
//                   u16 follows), information bytes
//         0x80..0xBF  decoder s % 14 called directly: length (signed byte),
//                     then that many bytes
//         0xC0..0xDF  clock step of u8 seconds, then RefreshStatus
//         0xE0..0xFF  one setting changed (see change_setting)
//
// Properties: no read or write outside the bytes given (ASan); the DC
// decoders, whose result places the second screen, return -1 or at most
// the length they were given; a published record is 1257 bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz/fuzz_devices.hpp"

namespace {

using Decoder = int (PowerDevice::*)(const unsigned char*, int);

struct DecoderRow {
    Decoder decode;
    bool dc;  // result places the second DC screen
};
const DecoderRow kDecoders[] = {
    {&PowerDevice::parse42_41, true},  {&PowerDevice::parse42_41_2, true},
    {&PowerDevice::parse42_42, true},  {&PowerDevice::parse42_42_2, true},
    {&PowerDevice::parse42_44, true},  {&PowerDevice::parse42_44_2, true},
    {&PowerDevice::parse41_41, false}, {&PowerDevice::parse41_42, false},
    {&PowerDevice::parse41_43, false}, {&PowerDevice::parse41_44, false},
    {&PowerDevice::parse40_44, false}, {&PowerDevice::parse40_43, false},
    {&PowerDevice::parse40_41, false}, {&PowerDevice::parse40_42, false},
};

const int kStates[] = {100, 101, 102, 104, 105, 106, 107, 108, 50, 10, 0, 300, 310, 320, 103};

void change_setting(PowerDevice& dev, std::uint8_t s, fuzzing::Input& in) {
    const std::uint8_t v = in.u8();
    switch (s % 8) {
        case 0: dev.float_mode = v & 1; break;
        case 1: dev.has_tower = v & 1; break;
        case 2: dev.cg = v; break;
        case 3: dev.no_dc_number = static_cast<std::int8_t>(v); break;
        case 4: dev.skip_41_41 = static_cast<std::int8_t>(v); break;
        case 5: dev.protocol_ver = v; break;
        case 6:
            // The model key that switches on the special AC layouts.
            dev.device_type = (v & 1) != 0 ? "hulm27_k300v20_419" : "pxr52_419";
            break;
        default: dev.has_ac = v & 1; dev.has_dc = (v >> 1) & 1; break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::init_process();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::Input in(data, size);
    fuzzing::reset_clock();
    // The two active-mode classes; the shipped one only listens.
    auto dev = fuzzing::make_device((in.u8() & 1) != 0 ? fuzzing::DeviceKind::model
                                                       : fuzzing::DeviceKind::power);
    fuzzing::CheckingListener listener;
    dev->host_listener = &listener;
    dev->data_id = 5535;
    dev->b_mode = fuzzing::threshold_mode(in);
    fuzzing::configure(*dev, in);
    fuzzing::host_maps(*dev, in);

    for (int steps = 0; !in.empty() && steps < 256; ++steps) {
        const std::uint8_t s = in.u8();
        if (s < 0x80) {
            const unsigned pick = s % 16;
            dev->cmd_state = pick < 15 ? kStates[pick] : in.i32();
            const unsigned char cid1 = in.u8();
            const unsigned char rtn = in.u8();
            unsigned len = in.u8();
            if (len == 255) len = in.u16() % (smdhost::kMaxInfoBytes + 1);
            const fuzzing::Bytes info = in.bytes(len);
            const unsigned lenid = static_cast<unsigned>(info.size() * 2);
            fuzzing::Bytes f = {0x20, 0x01, cid1, rtn, static_cast<unsigned char>(lenid & 0xFF),
                                static_cast<unsigned char>(lenid >> 8)};
            f.insert(f.end(), info.begin(), info.end());
            dev->deliver_frame(f.data(), static_cast<int>(f.size()));
        } else if (s < 0xC0) {
            const DecoderRow& row = kDecoders[s % 14];
            const int len = static_cast<std::int8_t>(in.u8());
            const fuzzing::Bytes bytes = in.bytes(len > 0 ? static_cast<std::size_t>(len) : 0);
            const int n = static_cast<int>(bytes.size());
            // Exactly the bytes given (a zero-size allocation for none); for
            // a negative length the pointer stands at a buffer's end, where
            // the sequencer's arithmetic would put it.
            std::unique_ptr<unsigned char[]> buf(new unsigned char[n]);
            std::copy(bytes.begin(), bytes.end(), buf.get());
            const int r = ((*dev).*(row.decode))(buf.get(), len >= 0 ? n : len);
            if (row.dc && len >= 0)
                fuzzing::check(r == -1 || (r >= 0 && r <= n), "DC decoder result within its bytes");
        } else if (s < 0xE0) {
            smdhost::sim_clock::advance(in.u8());
            dev->RefreshStatus();
        } else {
            change_setting(*dev, s, in);
        }
    }
    return 0;
}
