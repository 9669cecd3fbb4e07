// What the benchmarks, the budget tests and the callgrind driver measure:
// capture rounds built with the plant model, devices configured for a
// threshold mode, and standard output kept out of the measurement.
#pragma once

#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include <json/value.h>

#include "device/record.hpp"
#include "device/tarnel_brelm_pxr52_419.hpp"

namespace bench {

using Bytes = std::vector<unsigned char>;

constexpr unsigned kDataId = 7;

// Drops whatever is written to it; formatting still happens, so the cost
// of building a log line stays in the measurement, the write does not.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// While alive: std::cout writes into a NullBuffer and file descriptor 1
// (printf) goes to /dev/null. Restores both, flushed, when destroyed.
class QuietOutput {
public:
    QuietOutput();
    ~QuietOutput();
    QuietOutput(const QuietOutput&) = delete;
    QuietOutput& operator=(const QuietOutput&) = delete;

private:
    NullBuffer null_;
    std::streambuf* old_cout_;
    int saved_fd_ = -1;
};

// One frame of a round: the decoded frame as the protocol engine hands it
// to the device, and the same frame as it goes over the line.
struct Frame {
    Bytes decoded;          // VER ADR CID1 CID2/RTN LENID(LE) INFO...
    std::string line;       // "~...\r"
    unsigned char cid1 = 0;
    unsigned char cid2 = 0; // of the command this frame is or answers
    bool command = false;
};

// A clean capture round: the eight command/response pairs another master
// asks (40/42, 40/43, 40/44, 41/42, 41/43, 41/44, 42/42, 42/44, command
// group 0xFF where the command carries one), answered by a plant of
// `rectifiers` modules and `screens` DC screens, and the record a correct
// capture publishes for it (time stamp zero).
struct CaptureRound {
    std::vector<Frame> frames;    // command, response, command, response ...
    pxr52_419_Data_t truth;
    std::string line() const;     // every frame's line text, in order
    std::size_t line_bytes() const;
};

CaptureRound make_capture_round(int rectifiers, int screens, std::uint64_t seed = 1);

// The command/response pair of one command the capture accepts (including
// 40/47 and 42/47, which are not part of a round), from the same plant.
struct CommandPair {
    Frame command;
    Frame response;
};
CommandPair make_command_pair(unsigned char cid1, unsigned char cid2, int rectifiers, int screens);

// Threshold modes the round benchmarks run.
//   1: no threshold file (no "AI" entry), the power and model rules of mode 1;
//   2: every level the rules look up set non-zero (see prime_mode2);
//   5: kMode5Rules signal rules of "thresholdSetting", values in value_map
//      (no class of the plug-in fills it, so the benchmark does);
//   0: the other-mode model rules (mode 0 is one of "every other value").
Json::Value mode_config(int mode);
constexpr int kMode5Rules = 6;

// "thresholdSetting" of `items` mode-5 items, each with an upper and a lower
// limit (2 rules per item).
Json::Value mode5_config(int items);
// An "[AI]" section of `keys` entries (and an "[ALARM]" section of 4).
std::string ai_ini_text(int keys);

// A shipped device with data id kDataId and no listener (the host layer
// records nothing), configured for `mode` (quietly), with the values and
// levels of that mode in place. Mode 2 also needs prime_mode2 after a round.
std::unique_ptr<Tarnel_BRELM_PXR52_419> make_device(int mode);

// Mode 2: after one round has run, every level the rules looked up is set
// to 2 and every threshold to 1.0, so that the next rounds queue every rule.
// Returns the number of levels set.
std::size_t prime_mode2(Tarnel_BRELM_PXR52_419& dev);

// Delivers every frame of `round` to `dev` as the engine does; returns the
// number of frames whose process_payload returned 0 (rounds published).
int play(Tarnel_BRELM_PXR52_419& dev, const CaptureRound& round);

// True when `dev` publishes `round`'s truth: its published record equals
// round.truth in every byte but the time stamp, which the publisher sets.
bool publishes_truth(const Tarnel_BRELM_PXR52_419& dev, const CaptureRound& round);

// A mode-1 threshold file where the loader looks for it: makes a fresh
// directory with "ini/<data id>.ini" holding `ini_text` and makes it the
// working directory; on destruction returns to the previous one and removes
// what it made.
class IniDirectory {
public:
    IniDirectory(unsigned data_id, const std::string& ini_text);
    ~IniDirectory();
    IniDirectory(const IniDirectory&) = delete;
    IniDirectory& operator=(const IniDirectory&) = delete;

private:
    std::string dir_;
    std::string file_;
    std::string old_cwd_;
};

}  // namespace bench
