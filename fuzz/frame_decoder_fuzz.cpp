// Raw line bytes through the frame decoder, alone and inside a shipped
// device's protocol engine.
//
// Input:  flags | line bytes...
//   flags bit 0: LF accepted as end of frame; bits 2..7: chunk size - 1 of
//   the process() calls.
//
// Properties: every decoded frame is self-consistent (size = 6 + LENID / 2,
// within the buffer bound) and survives a round trip through encode_frame;
// a bad frame's detail agrees with the characters the decoder kept; the
// engine completes exactly as many frames as the standalone decoder; the
// device, fed whatever the line carries, never fails.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "device/tarnel_brelm_pxr52_419.hpp"
#include "fuzz/fuzz_support.hpp"
#include "host/frame_codec.hpp"

using smdhost::FrameDecoder;

namespace {

// Re-encoding a decoded frame and decoding it again gives the same frame.
void check_round_trip(const unsigned char* f, std::size_t size) {
    const std::size_t info = size - smdhost::kDecodedHeader;
    const std::string line = smdhost::encode_frame(f[0], f[1], f[2], f[3], f + 6, info);
    FrameDecoder again;
    int frames = 0;
    for (unsigned char c : line) {
        const auto st = again.push(c);
        fuzzing::check(st != FrameDecoder::Status::fault, "re-encoded frame decodes");
        if (st == FrameDecoder::Status::frame) {
            ++frames;
            fuzzing::check(again.frame_size() == size, "round trip keeps the size");
            fuzzing::check(std::memcmp(again.frame(), f, size) == 0, "round trip keeps the bytes");
        }
    }
    fuzzing::check(frames == 1, "re-encoded frame gives one frame");
}

bool is_hex(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// What the decoder says about a bad frame matches the characters it kept.
void check_fault(const FrameDecoder& d) {
    const smdhost::FrameFaultDetail& f = d.fault_detail();
    const std::size_t kept = d.text_size();
    fuzzing::check(kept <= smdhost::kMaxFrameChars && kept == std::min(f.chars, smdhost::kMaxFrameChars),
                   "kept characters are the frame's, bounded");
    std::size_t leading_hex = 0;
    while (leading_hex < kept && is_hex(static_cast<unsigned char>(d.text()[leading_hex]))) ++leading_hex;
    fuzzing::check(f.has_header == (leading_hex >= 8), "header known exactly when its digits are");
    fuzzing::check(f.has_lenid == (leading_hex >= 12), "LENID known exactly when its digits are");
    switch (f.fault) {
        case smdhost::FrameFault::hex:
            fuzzing::check(f.bad_position == leading_hex + 1 && leading_hex < kept &&
                               static_cast<unsigned char>(d.text()[leading_hex]) == f.bad_char,
                           "hex fault names the first non-hex character and its position");
            break;
        case smdhost::FrameFault::checksum:
        case smdhost::FrameFault::length_checksum:
            fuzzing::check(f.expected != f.received, "a checksum fault's values differ");
            break;
        case smdhost::FrameFault::too_long:
            fuzzing::check(f.chars == smdhost::kMaxFrameChars + 1, "too_long after the limit");
            break;
        case smdhost::FrameFault::length:
        case smdhost::FrameFault::broken:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::init_process();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::Input in(data, size);
    const std::uint8_t flags = in.u8();
    const bool accept_lf = (flags & 1) != 0;
    const std::size_t chunk = 1 + (flags >> 2);
    fuzzing::Bytes line = in.rest();

    FrameDecoder decoder(accept_lf);
    int completed = 0;
    for (unsigned char c : line) {
        const auto st = decoder.push(c);
        if (st == FrameDecoder::Status::none) continue;
        ++completed;
        if (st == FrameDecoder::Status::fault) {
            check_fault(decoder);
            continue;
        }
        const unsigned char* f = decoder.frame();
        const std::size_t fsize = decoder.frame_size();
        fuzzing::check(fsize >= smdhost::kDecodedHeader && fsize <= smdhost::kMaxDecodedFrame,
                       "frame size within bounds");
        const unsigned lenid = static_cast<unsigned>(f[4] | f[5] << 8);
        fuzzing::check((lenid & 1) == 0 && fsize == smdhost::kDecodedHeader + lenid / 2,
                       "frame size matches its length word");
        check_round_trip(f, fsize);
    }

    fuzzing::reset_clock();
    Tarnel_BRELM_PXR52_419 dev;
    fuzzing::CheckingListener listener;
    listener.capture_mode = true;
    dev.host_listener = &listener;
    dev.accept_lf_eoi = accept_lf;
    int engine_completed = 0;
    for (std::size_t at = 0; at < line.size(); at += chunk) {
        const std::size_t n = std::min(chunk, line.size() - at);
        engine_completed += dev.process(line.data() + at, static_cast<unsigned>(n));
    }
    fuzzing::check(engine_completed == completed, "engine completes the same frames");
    return 0;
}
