// Line framing: encoder, streaming decoder, and the protocol engine's hand-off
// of good and bad frames to the device.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/frame_codec.hpp"
#include "host/host_event.hpp"
#include "host/pmbus_protocol.hpp"

namespace {

using smdhost::FrameDecoder;
using smdhost::FrameFault;
using Bytes = std::vector<unsigned char>;

// Golden frames, checksums worked out by hand from the framing rules.
//   ~ 20 01 40 42 0000 ---- FDB3 CR        no information
//   ~ 20 01 42 00 D012 112233445566778899 F9E6 CR   LENID 0x012, LCHKSUM D
const char kEmpty4042[] = "~200140420000FDB3\r";
const char kNineBytes[] = "~20014200D012112233445566778899F9E6\r";

struct Outcome {
    std::vector<Bytes> frames;
    std::vector<std::string> faults;
};

Outcome decode(const std::string& line, bool accept_lf = false) {
    FrameDecoder d(accept_lf);
    Outcome out;
    for (char c : line) {
        switch (d.push(static_cast<unsigned char>(c))) {
            case FrameDecoder::Status::frame:
                out.frames.emplace_back(d.frame(), d.frame() + d.frame_size());
                break;
            case FrameDecoder::Status::fault:
                out.faults.push_back(smdhost::frame_fault_name(d.fault()));
                break;
            case FrameDecoder::Status::none:
                break;
        }
    }
    return out;
}

std::string encode(unsigned char cid1, unsigned char cid2, const Bytes& info) {
    return smdhost::encode_frame(0x20, 0x01, cid1, cid2, info.data(), info.size());
}

// Replaces the character at `pos` (counted from SOI).
std::string with_char(std::string frame, std::size_t pos, char c) {
    frame[pos] = c;
    return frame;
}

TEST(FrameEncoder, MatchesGoldenFrames) {
    EXPECT_EQ(encode(0x40, 0x42, {}), kEmpty4042);
    EXPECT_EQ(encode(0x42, 0x00, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99}),
              kNineBytes);
}

TEST(FrameEncoder, LengthChecksumOfLenid) {
    EXPECT_EQ(smdhost::length_checksum(0x012), 0xDu);
    EXPECT_EQ(smdhost::length_checksum(0), 0u);
    EXPECT_EQ(smdhost::length_checksum(0xFFE), 0x4u);  // 15+15+14 = 44, 16 - 12
}

TEST(FrameEncoder, LongestFrameStillDecodes) {
    // More information than fits is cut so the frame stays decodable.
    const Bytes big(smdhost::kMaxInfoBytes + 10, 0xA5);
    const std::string f = encode(0x42, 0x00, big);
    EXPECT_EQ(f.size(), 1 + smdhost::kMaxFrameChars + 1);
    const Outcome o = decode(f);
    ASSERT_EQ(o.frames.size(), 1u);
    EXPECT_TRUE(o.faults.empty());
    EXPECT_EQ(o.frames[0].size(), smdhost::kDecodedHeader + smdhost::kMaxInfoBytes);
    EXPECT_EQ(o.frames[0].back(), 0xA5);
}

TEST(FrameDecoder, RoundTripGivesTheDecodedFrameLayout) {
    const Bytes info = {0x00, 0x01, 0xFE, 0xFF, 0x7E, 0x0D};  // SOI and CR values as data
    const Outcome o = decode(smdhost::encode_frame(0x21, 0x07, 0x41, 0x44, info.data(), info.size()));
    ASSERT_EQ(o.frames.size(), 1u);
    // VER ADR CID1 CID2 LENID(LE: 12 characters) INFO
    const Bytes expected = {0x21, 0x07, 0x41, 0x44, 12, 0, 0x00, 0x01, 0xFE, 0xFF, 0x7E, 0x0D};
    EXPECT_EQ(o.frames[0], expected);
}

TEST(FrameDecoder, LenidAbove255IsLittleEndianInTheBuffer) {
    const Bytes info(200, 0x33);  // 400 characters = 0x190
    const Outcome o = decode(encode(0x42, 0x00, info));
    ASSERT_EQ(o.frames.size(), 1u);
    EXPECT_EQ(o.frames[0][4], 0x90);
    EXPECT_EQ(o.frames[0][5], 0x01);
    EXPECT_EQ(o.frames[0].size(), 206u);
}

TEST(FrameDecoder, AcceptsLowerCaseHex) {
    // The checksum is over the characters as sent: 'd' counts 0x64, not 0x44.
    const Outcome o = decode("~20014200d012112233445566778899f9c6\r");
    ASSERT_EQ(o.frames.size(), 1u);
    EXPECT_EQ(o.frames[0][2], 0x42);
    EXPECT_EQ(o.frames[0][14], 0x99);
}

TEST(FrameDecoder, SkipsBytesBetweenFrames) {
    const Outcome o = decode(std::string("noise\r\n\x01\xFF") + kEmpty4042 + "junk" + kNineBytes);
    EXPECT_EQ(o.frames.size(), 2u);
    EXPECT_TRUE(o.faults.empty());
}

TEST(FrameDecoder, NamesEveryFailureKind) {
    const std::string good = kNineBytes;
    // CHKSUM digit changed.
    EXPECT_EQ(decode(with_char(good, good.size() - 2, '7')).faults,
              std::vector<std::string>{"checksum"});
    // A data character changed: the sum no longer matches.
    EXPECT_EQ(decode(with_char(good, 14, '2')).faults, std::vector<std::string>{"checksum"});
    // LCHKSUM nibble changed, LENID still right.
    EXPECT_EQ(decode(with_char(good, 9, 'E')).faults,
              std::vector<std::string>{"length_checksum"});
    // A non-hex character, in the information or in the header.
    EXPECT_EQ(decode(with_char(good, 15, 'G')).faults, std::vector<std::string>{"hex"});
    EXPECT_EQ(decode(with_char(good, 1, ' ')).faults, std::vector<std::string>{"hex"});
    // Too short to hold a header and a checksum.
    EXPECT_EQ(decode("~2001\r").faults, std::vector<std::string>{"length"});
    EXPECT_EQ(decode("~\r").faults, std::vector<std::string>{"length"});
}

TEST(FrameDecoder, LengthFaults) {
    // LENID says 18 characters, 16 are there (one byte dropped).
    std::string short_info = kNineBytes;
    short_info.erase(15, 2);
    EXPECT_EQ(decode(short_info).faults, std::vector<std::string>{"length"});
    // Odd LENID 0x011 with its own correct LCHKSUM (1+1 = 2, 16-2 = E).
    std::string odd = "~20014200E011" + std::string(18, '1') + "0000\r";
    EXPECT_EQ(decode(odd).faults, std::vector<std::string>{"length"});
    // An odd number of characters in all.
    std::string odd_chars = kNineBytes;
    odd_chars.insert(13, "1");
    EXPECT_EQ(decode(odd_chars).faults, std::vector<std::string>{"length"});
}

TEST(FrameDecoder, NewSoiBreaksThePartialFrameAndStartsANewOne) {
    const Outcome o = decode(std::string("~2001404") + kEmpty4042);
    EXPECT_EQ(o.faults, std::vector<std::string>{"broken"});
    ASSERT_EQ(o.frames.size(), 1u);
    EXPECT_EQ(o.frames[0][2], 0x40);
}

TEST(FrameDecoder, TooLongFrameFailsOnceAndResynchronisesOnTheNextSoi) {
    // 4096 characters after SOI are still a frame (a bad one here)...
    std::string at_limit = "~" + std::string(smdhost::kMaxFrameChars, '0') + "\r";
    EXPECT_EQ(decode(at_limit).faults, std::vector<std::string>{"length"});
    // ...one more without EOI is too long, reported once, and the rest up to
    // the next SOI (its CR included) is skipped.
    std::string over = "~" + std::string(smdhost::kMaxFrameChars + 500, '0') + "\r" + kEmpty4042;
    const Outcome o = decode(over);
    EXPECT_EQ(o.faults, std::vector<std::string>{"too_long"});
    EXPECT_EQ(o.frames.size(), 1u);
}

TEST(FrameDecoder, LineFeedEndsAFrameOnlyWhenAccepted) {
    std::string lf = kNineBytes;
    lf.back() = '\n';
    const Outcome with = decode(lf, true);
    EXPECT_EQ(with.frames.size(), 1u);
    EXPECT_TRUE(with.faults.empty());
    // CRLF: the CR ends the frame, the LF falls between frames.
    const Outcome crlf = decode(std::string(kNineBytes) + "\n" + kEmpty4042 + "\n", true);
    EXPECT_EQ(crlf.frames.size(), 2u);
    EXPECT_TRUE(crlf.faults.empty());
    // On a real line LF is just a character that is not a hex digit.
    const Outcome without = decode(lf + kEmpty4042, false);
    EXPECT_EQ(without.faults, std::vector<std::string>{"broken"});
    EXPECT_EQ(decode(std::string(kNineBytes).insert(13, "\n"), false).faults,
              std::vector<std::string>{"hex"});
}

// The last fault of a line, with its detail and the characters it held.
struct Dissected {
    smdhost::FrameFaultDetail detail;
    std::string text;
    int faults = 0;
};

Dissected dissect(const std::string& line) {
    FrameDecoder d;
    Dissected out;
    for (char c : line)
        if (d.push(static_cast<unsigned char>(c)) == FrameDecoder::Status::fault) {
            ++out.faults;
            out.detail = d.fault_detail();
            out.text.assign(d.text(), d.text_size());
        }
    return out;
}

TEST(FrameDecoder, FaultDetailSaysWhatWasWrong) {
    using Length = smdhost::FrameFaultDetail::Length;
    const std::string good = kNineBytes;  // ~ 20 01 42 00 D012 <18 info chars> F9E6 CR
    std::string short_info = good;
    short_info.erase(15, 2);
    std::string over = "~" + std::string(smdhost::kMaxFrameChars + 3, '1') + "\r";
    struct Case {
        const char* name;
        std::string line;
        FrameFault fault;
        Length length;
        unsigned expected, received;  // CHKSUM or LCHKSUM
        std::size_t chars;
        bool has_header;
        bool has_lenid;
        unsigned lenid;
        std::size_t info_chars;
        unsigned char bad_char;
        std::size_t bad_position;
    };
    const Case cases[] = {
        {"checksum digit", with_char(good, good.size() - 2, '7'), FrameFault::checksum, Length::none,
         0xF9E6, 0xF9E7, 34, true, true, 0x12, 0, 0, 0},
        // '2' for '1' in the information: the sum is one less, the frame's
        // own CHKSUM stays.
        {"data digit", with_char(good, 13, '2'), FrameFault::checksum, Length::none, 0xF9E5, 0xF9E6,
         34, true, true, 0x12, 0, 0, 0},
        {"length checksum", with_char(good, 9, 'E'), FrameFault::length_checksum, Length::none, 0xD,
         0xE, 34, true, true, 0x12, 0, 0, 0},
        {"lenid mismatch", short_info, FrameFault::length, Length::mismatch, 0, 0, 32, true, true,
         0x12, 16, 0, 0},
        {"odd lenid", "~20014200E011" + std::string(18, '1') + "0000\r", FrameFault::length,
         Length::odd_lenid, 0, 0, 34, true, true, 0x11, 18, 0, 0},
        {"odd count", std::string(good).insert(13, "1"), FrameFault::length, Length::odd_chars, 0, 0,
         35, true, true, 0x12, 0, 0, 0},
        {"too short", "~2001\r", FrameFault::length, Length::too_short, 0, 0, 4, false, false, 0, 0,
         0, 0},
        {"hex in info", with_char(good, 15, 'G'), FrameFault::hex, Length::none, 0, 0, 34, true, true,
         0x12, 0, 'G', 15},
        {"hex in cid1", with_char(good, 5, '?'), FrameFault::hex, Length::none, 0, 0, 34, false, false,
         0, 0, '?', 5},
        {"broken", "~2001404" + std::string(kEmpty4042), FrameFault::broken, Length::none, 0, 0, 7,
         false, false, 0, 0, 0, 0},
        {"too long", over, FrameFault::too_long, Length::none, 0, 0, smdhost::kMaxFrameChars + 1, true,
         true, 0x111, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const Dissected d = dissect(c.line);
        ASSERT_EQ(d.faults, 1) << c.name;
        EXPECT_EQ(d.detail.fault, c.fault) << c.name;
        EXPECT_EQ(d.detail.length, c.length) << c.name;
        EXPECT_EQ(d.detail.expected, c.expected) << c.name;
        EXPECT_EQ(d.detail.received, c.received) << c.name;
        EXPECT_EQ(d.detail.chars, c.chars) << c.name;
        EXPECT_EQ(d.detail.has_header, c.has_header) << c.name;
        EXPECT_EQ(d.detail.has_lenid, c.has_lenid) << c.name;
        EXPECT_EQ(d.detail.lenid, c.lenid) << c.name;
        EXPECT_EQ(d.detail.info_chars, c.info_chars) << c.name;
        EXPECT_EQ(d.detail.bad_char, c.bad_char) << c.name;
        EXPECT_EQ(d.detail.bad_position, c.bad_position) << c.name;
        // The characters after SOI, bounded by the frame limit.
        const std::size_t from = c.line.find('~') + 1;
        EXPECT_EQ(d.text, c.line.substr(from, std::min(c.chars, smdhost::kMaxFrameChars))) << c.name;
    }
    // The header of a bad frame is kept as a hint.
    const Dissected h = dissect(with_char(good, good.size() - 2, '7'));
    EXPECT_EQ(h.detail.header[2], 0x42);
    EXPECT_EQ(h.detail.header[3], 0x00);
}

TEST(FrameDecoder, GoodFrameKeepsItsCharacters) {
    FrameDecoder d;
    std::string got;
    for (char c : std::string("xx") + kNineBytes)
        if (d.push(static_cast<unsigned char>(c)) == FrameDecoder::Status::frame)
            got.assign(d.text(), d.text_size());
    EXPECT_EQ(got, std::string(kNineBytes).substr(1, 34));
}

TEST(FrameDecoder, ResetForgetsThePartialFrame) {
    FrameDecoder d;
    for (char c : std::string("~200140")) d.push(static_cast<unsigned char>(c));
    EXPECT_TRUE(d.in_frame());
    d.reset();
    EXPECT_FALSE(d.in_frame());
    std::vector<FrameDecoder::Status> st;
    for (char c : std::string(kEmpty4042)) st.push_back(d.push(static_cast<unsigned char>(c)));
    EXPECT_EQ(st.back(), FrameDecoder::Status::frame);
    for (std::size_t k = 0; k + 1 < st.size(); ++k) EXPECT_EQ(st[k], FrameDecoder::Status::none);
}

// A protocol engine whose device records what it is handed.
class RecordingProtocol : public PMBusProtocol {
public:
    int process_payload() override {
        const int info = (payload[5] << 8 | payload[4]) >> 1;
        frames.emplace_back(payload, payload + 6 + info);
        return 7;
    }
    int process_error() override {
        ++errors;
        return 3;
    }
    std::vector<Bytes> frames;
    int errors = 0;
};

int feed(PMBusProtocol& p, const std::string& line) {
    Bytes b(line.begin(), line.end());
    return p.process(b.data(), static_cast<unsigned>(b.size()));
}

TEST(ProtocolEngine, HandsGoodFramesToTheDeviceAndReportsBadOnes) {
    RecordingProtocol p;
    smdhost::CallLog log;
    p.host_listener = &log;
    EXPECT_EQ(feed(p, std::string(kNineBytes) + with_char(kEmpty4042, 16, '0')), 2);
    ASSERT_EQ(p.frames.size(), 1u);
    EXPECT_EQ(p.errors, 1);
    ASSERT_EQ(log.events.size(), 2u);
    EXPECT_EQ(log.events[0].kind, smdhost::HostEvent::Kind::payload);
    EXPECT_EQ(log.events[0].cid1, 0x42);
    EXPECT_EQ(log.events[0].len, 9);
    EXPECT_EQ(log.events[0].result, 7);
    EXPECT_EQ(log.events[1].kind, smdhost::HostEvent::Kind::frame_error);
    EXPECT_EQ(log.events[1].text1, "checksum");
    EXPECT_EQ(log.events[1].result, 3);
    EXPECT_EQ(p.payload, nullptr);  // only valid during the call
}

// Records what a frame tap is shown, and which device events came before.
class TapRecord : public smdhost::FrameTap {
public:
    explicit TapRecord(const smdhost::CallLog& log) : log_(log) {}
    void on_line_frame(const FrameDecoder& d, FrameDecoder::Status status, std::size_t index,
                       bool delivered) override {
        seen.push_back({status, index, delivered, std::string(d.text(), d.text_size()),
                        log_.events.size()});
    }
    struct Seen {
        FrameDecoder::Status status;
        std::size_t index;
        bool delivered;
        std::string text;
        std::size_t events_before;
    };
    std::vector<Seen> seen;

private:
    const smdhost::CallLog& log_;
};

TEST(ProtocolEngine, FrameTapSeesEveryFrameAfterTheDevice) {
    RecordingProtocol p;
    smdhost::CallLog log;
    TapRecord tap(log);
    p.host_listener = &log;
    p.frame_tap = &tap;
    p.address_filter = 1;
    const Bytes info = {0x01};
    const std::string other = smdhost::encode_frame(0x20, 0x02, 0x40, 0x43, info.data(), 1);
    const std::string bad = with_char(kEmpty4042, 16, '0');
    const std::string line = std::string(kNineBytes) + bad + other;
    feed(p, line);
    ASSERT_EQ(tap.seen.size(), 3u);
    EXPECT_EQ(tap.seen[0].status, FrameDecoder::Status::frame);
    EXPECT_EQ(tap.seen[0].index, std::string(kNineBytes).size() - 1);
    EXPECT_EQ(tap.seen[0].events_before, 1u);  // the payload event
    EXPECT_EQ(tap.seen[1].status, FrameDecoder::Status::fault);
    EXPECT_EQ(tap.seen[1].text, bad.substr(1, bad.size() - 2));
    EXPECT_EQ(tap.seen[1].events_before, 2u);  // the error event
    EXPECT_FALSE(tap.seen[2].delivered);       // another address: not handed over
    EXPECT_EQ(tap.seen[2].index, line.size() - 1);
    EXPECT_EQ(log.events.size(), 2u);
}

TEST(ProtocolEngine, FrameSplitAcrossCallsIsReassembled) {
    RecordingProtocol p;
    const std::string f = kNineBytes;
    EXPECT_EQ(feed(p, f.substr(0, 10)), 0);
    EXPECT_EQ(feed(p, f.substr(10)), 1);
    EXPECT_EQ(p.frames.size(), 1u);
}

TEST(ProtocolEngine, AddressFilterDropsOtherDevicesFrames) {
    RecordingProtocol p;
    p.address_filter = 2;
    const Bytes info = {0x01};
    feed(p, smdhost::encode_frame(0x20, 0x01, 0x40, 0x42, info.data(), 1));
    feed(p, smdhost::encode_frame(0x20, 0x02, 0x40, 0x43, info.data(), 1));
    ASSERT_EQ(p.frames.size(), 1u);
    EXPECT_EQ(p.frames[0][1], 0x02);
    EXPECT_EQ(p.frames[0][3], 0x43);
    p.address_filter = -1;
    feed(p, smdhost::encode_frame(0x20, 0x01, 0x40, 0x44, info.data(), 1));
    EXPECT_EQ(p.frames.size(), 2u);
}

TEST(ProtocolEngine, LineFeedEndsFramesOnlyInReplay) {
    RecordingProtocol p;
    std::string lf = kNineBytes;
    lf.back() = '\n';
    feed(p, lf + kEmpty4042);
    EXPECT_EQ(p.frames.size(), 1u);  // the LF frame was broken by the next SOI
    EXPECT_EQ(p.errors, 1);
    p.accept_lf_eoi = true;
    feed(p, lf);
    EXPECT_EQ(p.frames.size(), 2u);
}

TEST(ProtocolEngine, DecodedFrameShorterThanItsLengthWordIsRefused) {
    RecordingProtocol p;
    smdhost::CallLog log;
    p.host_listener = &log;
    // The length word claims 4 information bytes; 2 are there.
    const Bytes frame = {0x20, 0x01, 0x40, 0x42, 8, 0, 0xAA, 0xBB};
    EXPECT_EQ(p.deliver_frame(frame.data(), static_cast<int>(frame.size())), 3);
    EXPECT_TRUE(p.frames.empty());
    ASSERT_EQ(log.events.size(), 1u);
    EXPECT_EQ(log.events[0].text1, "length");
    EXPECT_EQ(p.deliver_frame(frame.data(), 4), 3);  // no room for the length word
    EXPECT_EQ(p.deliver_frame(nullptr, 0), 3);
    EXPECT_TRUE(p.frames.empty());
}

TEST(ProtocolEngine, SentCommandCarriesVersionAndAddressForTheLineWriter) {
    RecordingProtocol p;
    smdhost::CallLog log;
    p.host_listener = &log;
    p.protocol_ver = 0x21;
    p.address = 0x05;
    const Bytes info = {0xE5, 0x03};
    p.write_pmbus_cmd(0x41, 0x45, info.data(), 2);
    p.write_pmbus_cmd(0x40, 0x42, info.data(), 0);  // a count of 0 sends no bytes
    ASSERT_EQ(log.events.size(), 2u);
    EXPECT_EQ(log.events[0].code, 0x21);
    EXPECT_EQ(log.events[0].level, 0x05);
    EXPECT_EQ(log.events[0].bytes, info);
    EXPECT_TRUE(log.events[1].bytes.empty());
}

}  // namespace
