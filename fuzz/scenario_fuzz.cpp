// smdhost's scenario reader and listen's recorder, on any bytes.
//
// Input:  flags | bytes...
//   flags bit 0: 0 = the bytes are a scenario file, read in chunks of
//                    1 + (flags >> 1) bytes through the streaming reader;
//                1 = the bytes are heard on a line, in chunks of
//                    1 + (flags >> 2) bytes, a !refresh after every chunk
//                    whose first byte is odd when bit 1 is set.
//
// Properties, scenario: the reader never fails but by a malformed line or
// the end; the clock it reports stays in the plug-in's calendar; a frame
// line's bytes end with its CR.
// Properties, recorder: the recording always reads back as a scenario, and
// replaying its frame bytes gives the same frames and framing faults, in the
// same order among the !refresh calls, as the line gave live.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.hpp"
#include "host/frame_codec.hpp"
#include "tools/common/hex_codec.hpp"
#include "tools/smdhost/inputs/input_file.hpp"
#include "tools/smdhost/inputs/recorder.hpp"
#include "tools/smdhost/inputs/scenario_reader.hpp"
#include "tools/smdhost/session/local_time.hpp"

namespace {

using smdhost::FrameDecoder;
using smdscenario::Directive;
using smdscenario::ScenarioReader;

// Bytes in memory, handed out in chunks of a given size.
class MemorySource : public smdinput::ChunkSource {
public:
    MemorySource(const char* data, std::size_t size, std::size_t chunk)
        : data_(data), size_(size), chunk_(chunk) {}
    long read(char* buf, std::size_t size, std::string&) override {
        const std::size_t n = std::min({size, chunk_, size_ - at_});
        if (n > 0) std::memcpy(buf, data_ + at_, n);
        at_ += n;
        return static_cast<long>(n);
    }

private:
    const char* data_;
    std::size_t size_;
    std::size_t chunk_;
    std::size_t at_ = 0;
};

// What the framing makes of bytes: "F<hex>" per frame, "E<fault>" per fault.
void frame_events(FrameDecoder& d, const unsigned char* bytes, std::size_t n,
                  std::vector<std::string>& out) {
    for (std::size_t k = 0; k < n; ++k) {
        const auto st = d.push(bytes[k]);
        if (st == FrameDecoder::Status::frame)
            out.push_back("F" + hexcodec::upper(d.frame(), d.frame_size()));
        else if (st == FrameDecoder::Status::fault)
            out.push_back(std::string("E") + smdhost::frame_fault_name(d.fault()));
    }
}

void read_scenario(const fuzzing::Bytes& text, std::size_t chunk) {
    MemorySource source(reinterpret_cast<const char*>(text.data()), text.size(), chunk);
    auto reader = std::make_unique<ScenarioReader>(source, "fuzz.scn", "/nonexistent-fuzz");
    double clock = fuzzing::kStartEpoch;
    Directive d;
    std::string error;
    for (;;) {
        const auto st = reader->next(d, clock, true, error);
        if (st == ScenarioReader::Status::end || st == ScenarioReader::Status::malformed) break;
        fuzzing::check(st == ScenarioReader::Status::directive, "only malformed lines fail");
        fuzzing::check(smdtime::in_calendar(clock), "clock stays in the calendar");
        if (d.kind == Directive::Kind::frame)
            fuzzing::check(!d.bytes.empty() && d.bytes.back() == '\r', "frame line ends with CR");
    }
}

void round_trip(const fuzzing::Bytes& line, std::size_t chunk, bool refreshes) {
    char* text = nullptr;
    std::size_t text_size = 0;
    std::FILE* mem = open_memstream(&text, &text_size);
    fuzzing::check(mem != nullptr, "memory stream");
    smdrecord::Recorder recorder;
    std::string error;
    fuzzing::check(recorder.start(mem, "fuzz", "fuzz", fuzzing::kStartEpoch, error),
                   "recording starts");

    std::vector<std::string> live;
    FrameDecoder heard(false);
    double now = fuzzing::kStartEpoch;
    for (std::size_t at = 0; at < line.size(); at += chunk) {
        const std::size_t n = std::min(chunk, line.size() - at);
        now += 0.01;
        recorder.bytes(line.data() + at, n, now);
        frame_events(heard, line.data() + at, n, live);
        if (refreshes && (line[at] & 1) != 0) {
            recorder.directive("!refresh", now);
            live.push_back("R");
        }
    }
    fuzzing::check(recorder.close(), "recording written");

    std::vector<std::string> replayed;
    FrameDecoder replay(true);
    MemorySource source(text, text_size, 4096);
    auto reader = std::make_unique<ScenarioReader>(source, "rec.scn", ".");
    double clock = fuzzing::kStartEpoch;
    Directive d;
    for (;;) {
        const auto st = reader->next(d, clock, true, error);
        if (st == ScenarioReader::Status::end) break;
        fuzzing::check(st == ScenarioReader::Status::directive, "recording reads back");
        if (d.kind == Directive::Kind::frame || d.kind == Directive::Kind::raw)
            frame_events(replay, d.bytes.data(), d.bytes.size(), replayed);
        else if (d.kind == Directive::Kind::refresh)
            replayed.push_back("R");
    }
    std::free(text);
    fuzzing::check(replayed == live, "replay gives the live frames and faults in order");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "UTC", 1);
    tzset();
    fuzzing::init_process();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::Input in(data, size);
    const std::uint8_t flags = in.u8();
    const fuzzing::Bytes rest = in.rest();
    if ((flags & 1) == 0)
        read_scenario(rest, 1 + (flags >> 1));
    else
        round_trip(rest, 1 + (flags >> 2), (flags & 2) != 0);
    return 0;
}
