// Line framing of the telecom power-system command set.
//
//   ~ 20 01 40 42 D012 <INFO as hex> CHKSUM \r
//   SOI VER ADR CID1 CID2/RTN LENGTH INFO CHKSUM EOI
//
// LENGTH: high nibble LCHKSUM, low 12 bits LENID = number of INFO characters.
// LCHKSUM = (16 - (d2 + d1 + d0) mod 16) mod 16 over the three LENID digits.
// CHKSUM  = (65536 - S mod 65536) mod 65536, S = sum of the ASCII codes of all
//           characters after SOI and before CHKSUM.
//
// Decoded frame: [0] VER, [1] ADR, [2] CID1, [3] CID2/RTN, [4..5] LENID
// little-endian (LCHKSUM removed), [6..] the information bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/host_api.hpp"

namespace smdhost {

constexpr std::size_t kMaxFrameChars = 4096;                // after SOI, before EOI
// Largest information field of a frame the decoder accepts: VER ADR CID1 CID2
// LENGTH and CHKSUM take 16 of the kMaxFrameChars characters.
constexpr std::size_t kMaxInfoBytes = (kMaxFrameChars - 16) / 2;  // 2040
constexpr std::size_t kDecodedHeader = 6;
constexpr std::size_t kMaxDecodedFrame = kDecodedHeader + kMaxInfoBytes;

enum class FrameFault : std::uint8_t {
    checksum,         // CHKSUM wrong
    length_checksum,  // LCHKSUM wrong
    length,           // odd LENID, LENID not matching the INFO found, frame too short
    hex,              // a character that is not a hex digit
    broken,           // a new SOI before EOI
    too_long,         // more than kMaxFrameChars characters without EOI
};

SMD_HOST_API const char* frame_fault_name(FrameFault fault);

// LCHKSUM nibble of a LENID (0..0xFFF).
SMD_HOST_API unsigned length_checksum(unsigned lenid);

// Encodes one frame, SOI to EOI (CR), upper-case hex. `info_len` above
// kMaxInfoBytes is cut to kMaxInfoBytes, so that every frame made here is one
// FrameDecoder accepts; callers that must not lose bytes check the length first.
SMD_HOST_API std::string encode_frame(unsigned char ver, unsigned char adr, unsigned char cid1,
                                      unsigned char cid2, const unsigned char* info,
                                      std::size_t info_len);

// What was wrong with a bad frame: the values a person needs to see which
// character or field the line spoiled. Every member not named for the fault
// at hand is 0 / false.
struct FrameFaultDetail {
    // Which length rule a FrameFault::length broke.
    enum class Length : std::uint8_t {
        none,
        too_short,   // fewer than the 16 characters of header and checksum
        odd_chars,   // an odd number of characters after SOI
        odd_lenid,   // LENID is odd
        mismatch,    // LENID is not the number of information characters found
    };

    FrameFault fault = FrameFault::checksum;
    Length length = Length::none;
    // Characters after SOI up to what ended the frame (EOI, a new SOI, or
    // the character past kMaxFrameChars for too_long).
    std::size_t chars = 0;
    // LENID of the LENGTH field, when the frame got that far and its first
    // twelve characters were hex digits (length, length_checksum, checksum).
    bool has_lenid = false;
    unsigned lenid = 0;
    // length mismatch: information characters found (chars - 16).
    std::size_t info_chars = 0;
    // checksum: CHKSUM computed / received; length_checksum: LCHKSUM of the
    // LENID / LCHKSUM received.
    unsigned expected = 0;
    unsigned received = 0;
    // hex: the first character that is not a hex digit and its position,
    // counted from SOI (SOI = 0, VER's first digit = 1).
    unsigned char bad_char = 0;
    std::size_t bad_position = 0;
    // VER ADR CID1 CID2/RTN as the frame carried them, when its first eight
    // characters after SOI were hex digits. Not covered by a good checksum:
    // a hint of what the frame was, nothing more.
    bool has_header = false;
    unsigned char header[4] = {0, 0, 0, 0};
};

// Streaming decoder: push one byte of the line at a time. Bytes between
// frames are skipped. Holds no heap memory and allocates nothing.
class SMD_HOST_API FrameDecoder {
public:
    enum class Status : std::uint8_t { none, frame, fault };

    explicit FrameDecoder(bool accept_lf = false) : accept_lf_(accept_lf) {}

    // Accept LF as end of frame as well as CR (replay of edited captures).
    void set_accept_lf(bool on) { accept_lf_ = on; }
    // Forget any partial frame.
    void reset();

    // Status::frame: frame()/frame_size() hold the decoded frame until the next push.
    // Status::fault: fault() names what was wrong with the frame just ended.
    Status push(unsigned char c) {
        // Inline: a character inside a frame, the case of almost every byte.
        if (state_ == State::collecting && chars_ < kMaxFrameChars && c != '~' && c != '\r' &&
            c != '\n') {
            sum_ += c;
            const bool digit = static_cast<unsigned>(c - '0') < 10u ||
                               static_cast<unsigned>((c | 0x20) - 'a') < 6u;
            non_hex_ |= static_cast<unsigned char>(!digit);
            text_[chars_++] = static_cast<char>(c);
            return Status::none;
        }
        return push_edge(c);
    }

    const unsigned char* frame() const { return frame_; }
    std::size_t frame_size() const { return frame_size_; }
    FrameFault fault() const { return detail_.fault; }
    // After Status::fault, until the next push: what was wrong.
    const FrameFaultDetail& fault_detail() const { return detail_; }
    // After Status::frame or Status::fault, until the next push: the
    // characters of the frame just ended between SOI and what ended it, at
    // most kMaxFrameChars of them (a too_long frame: its first ones).
    const char* text() const { return text_; }
    std::size_t text_size() const { return text_size_; }
    // True while characters of a frame are being collected.
    bool in_frame() const { return state_ != State::idle; }

private:
    enum class State : std::uint8_t { idle, collecting, overlong };

    // Everything push() does not do inline: SOI, EOI, the frame limit,
    // bytes between frames.
    Status push_edge(unsigned char c);
    Status finish();
    // Records the fault of the frame whose `chars` characters were seen.
    Status fail(FrameFault fault, std::size_t chars);
    void start();
    // raw_[0..pairs) from the hex digits text_[0..2 * pairs).
    void decode_pairs(std::size_t pairs);
    // Index of the first of text_[0..chars) that is not a hex digit, or chars.
    std::size_t first_non_hex(std::size_t chars) const;

    bool accept_lf_;
    State state_ = State::idle;
    unsigned char non_hex_ = 0;    // non-zero once a character was not a hex digit
    std::size_t chars_ = 0;        // characters after SOI, kept in text_
    std::uint32_t sum_ = 0;        // ASCII sum of every character after SOI
    FrameFaultDetail detail_;
    std::size_t frame_size_ = 0;
    std::size_t text_size_ = 0;
    // The characters after SOI as they came. Collecting a frame only counts,
    // sums and keeps them; its hex pairs are decoded once it ends.
    char text_[kMaxFrameChars];
    // Decoded pairs: VER ADR CID1 CID2 LENGTH(2) INFO... CHKSUM(2); then
    // rewritten in place into the decoded frame.
    unsigned char raw_[kMaxFrameChars / 2];
    unsigned char* frame_ = raw_;
};

}  // namespace smdhost
