#include "fixtures.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "host/frame_codec.hpp"
#include "tools/plant/plant_model.hpp"
#include "tools/plant/responder.hpp"
#include "tools/plant/truth.hpp"

namespace bench {

namespace {

constexpr unsigned char kVer = 0x20;
constexpr unsigned char kAdr = 0x01;
constexpr unsigned char kAllGroups = 0xFF;

struct MasterCommand {
    unsigned char cid1;
    unsigned char cid2;
    bool with_group;  // carries the command group byte 0xFF
};

// The eight pairs of a round, in the order the other master asks them.
const MasterCommand kRound[] = {
    {0x40, 0x42, true},  {0x40, 0x43, true},  {0x40, 0x44, true},  {0x41, 0x42, false},
    {0x41, 0x43, false}, {0x41, 0x44, false}, {0x42, 0x42, true},  {0x42, 0x44, true},
};

Bytes decoded_frame(unsigned char cid1, unsigned char cid2_or_rtn, const Bytes& info) {
    Bytes f = {kVer, kAdr, cid1, cid2_or_rtn};
    const auto lenid = static_cast<unsigned>(info.size() * 2);
    f.push_back(static_cast<unsigned char>(lenid & 0xFF));
    f.push_back(static_cast<unsigned char>(lenid >> 8));
    f.insert(f.end(), info.begin(), info.end());
    return f;
}

// A plant of the given size, stepped once with no random events: the state
// a trace's first round reports.
struct Site {
    plant::Plant plant;
    plant::Responder responder;

    Site(int rectifiers, int screens, std::uint64_t seed)
        : plant(plant::PlantShape::typical(rectifiers, screens), seed),
          responder(plant, plant::ResponderConfig{kAdr, kAllGroups, 2}) {
        const std::string problem = plant.shape().problem();
        if (!problem.empty()) throw std::invalid_argument("plant shape: " + problem);
        plant.event_rate = 0.0;
        plant.step(0.0);
    }

    CommandPair ask(const MasterCommand& cmd) {
        CommandPair p;
        const Bytes info = cmd.with_group ? Bytes{kAllGroups} : Bytes{};
        p.command.decoded = decoded_frame(cmd.cid1, cmd.cid2, info);
        p.command.line = smdhost::encode_frame(kVer, kAdr, cmd.cid1, cmd.cid2, info.data(), info.size());
        p.command.cid1 = cmd.cid1;
        p.command.cid2 = cmd.cid2;
        p.command.command = true;

        const plant::Reply r = responder.reply(p.command.decoded.data(), p.command.decoded.size());
        if (!r.answered || r.rtn != plant::kRtnNormal)
            throw std::runtime_error("the plant refused a command of the round");
        p.response.decoded = decoded_frame(r.cid1, r.rtn, r.info);
        p.response.line = smdhost::encode_frame(r.ver, r.adr, r.cid1, r.rtn, r.info.data(), r.info.size());
        p.response.cid1 = cmd.cid1;
        p.response.cid2 = cmd.cid2;
        return p;
    }
};

Json::Value mode5_item(const char* id, const char* name, double up, double up_back, double low,
                       double low_back) {
    Json::Value item;
    item["ID"] = id;
    item["SignalName"] = name;
    item["UpValue"] = up;
    item["UpReconverValue"] = up_back;
    item["UpAlarmLevel"] = 2;
    item["LowValue"] = low;
    item["LowReconverValue"] = low_back;
    item["LowAlarmLevel"] = 3;
    return item;
}

}  // namespace

QuietOutput::QuietOutput() : old_cout_(std::cout.rdbuf()) {
    std::cout.flush();
    std::fflush(stdout);
    std::cout.rdbuf(&null_);
    const int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devnull >= 0) {
        saved_fd_ = ::dup(1);
        if (saved_fd_ >= 0) ::dup2(devnull, 1);
        ::close(devnull);
    }
}

QuietOutput::~QuietOutput() {
    std::fflush(stdout);
    if (saved_fd_ >= 0) {
        ::dup2(saved_fd_, 1);
        ::close(saved_fd_);
    }
    std::cout.rdbuf(old_cout_);
}

std::string CaptureRound::line() const {
    std::string out;
    for (const Frame& f : frames) out += f.line;
    return out;
}

std::size_t CaptureRound::line_bytes() const {
    std::size_t n = 0;
    for (const Frame& f : frames) n += f.line.size();
    return n;
}

CaptureRound make_capture_round(int rectifiers, int screens, std::uint64_t seed) {
    Site site(rectifiers, screens, seed);
    CaptureRound round;
    // The truth of the state the replies report: taken before the replies
    // clear the plant's unread-change flags, which only the flag byte shows.
    round.truth = plant::truth_record(site.plant.state(), kDataId);
    for (const MasterCommand& cmd : kRound) {
        CommandPair p = site.ask(cmd);
        round.frames.push_back(std::move(p.command));
        round.frames.push_back(std::move(p.response));
    }
    return round;
}

CommandPair make_command_pair(unsigned char cid1, unsigned char cid2, int rectifiers, int screens) {
    Site site(rectifiers, screens, 1);
    const bool group = cid1 == 0x40 || cid1 == 0x42;
    return site.ask(MasterCommand{cid1, cid2, group});
}

Json::Value mode5_config(int items) {
    Json::Value cfg;
    cfg["appSetting"]["b_mode"] = 5;
    Json::Value& setting = cfg["thresholdSetting"];
    for (int k = 0; k < items; ++k) {
        char key[16], id[16], name[24];
        std::snprintf(key, sizeof key, "item%03d", k);
        std::snprintf(id, sizeof id, "0406%03d", k);
        std::snprintf(name, sizeof name, "signal_%03d", k);
        setting[key] = mode5_item(id, name, 57.0, 56.0, 45.0, 46.0);
    }
    return cfg;
}

std::string ai_ini_text(int keys) {
    std::string text = "[AI]\n";
    for (int k = 0; k < keys; ++k) {
        char line[64];
        std::snprintf(line, sizeof line, "ai%03d=4191%02d1%05d,模拟量%d\n", k, k % 100, k, k);
        text += line;
    }
    text += "[ALARM]\ndoor=门磁告警,2\nsmoke=烟感告警,2\nwater=水浸告警,1\ntemp=温度告警,3\n";
    return text;
}

Json::Value mode_config(int mode) {
    if (mode == 5) {
        // Three items, two rules each: an upper limit above and a lower limit
        // below the values make_device puts in value_map, one value in each
        // band so that raised, clear and held rules all run.
        Json::Value cfg;
        cfg["appSetting"]["b_mode"] = 5;
        Json::Value& s = cfg["thresholdSetting"];
        s["dcv"] = mode5_item("0406001", "dc_v", 57.5, 56.0, 45.0, 46.0);
        s["load"] = mode5_item("0406002", "load_i", 80.0, 75.0, 2.0, 3.0);
        s["temp"] = mode5_item("0406003", "batt_t", 40.0, 38.0, 0.0, 1.0);
        return cfg;
    }
    Json::Value cfg;
    cfg["appSetting"]["b_mode"] = mode;
    return cfg;
}

std::unique_ptr<Tarnel_BRELM_PXR52_419> make_device(int mode) {
    auto dev = std::make_unique<Tarnel_BRELM_PXR52_419>();
    dev->data_id = kDataId;
    {
        QuietOutput quiet;
        dev->InitSetting(mode_config(mode));
    }
    if (mode == 5) {
        dev->value_map["dc_v"] = 53.5;    // inside both bands
        dev->value_map["load_i"] = 85.0;  // above its upper limit
        dev->value_map["batt_t"] = 39.0;  // between upper recovery and limit
    }
    return dev;
}

std::size_t prime_mode2(Tarnel_BRELM_PXR52_419& dev) {
    for (auto& level : dev.level_map) level.second = 2;
    for (auto& threshold : dev.threshold_map) threshold.second = 1.0f;
    return dev.level_map.size();
}

int play(Tarnel_BRELM_PXR52_419& dev, const CaptureRound& round) {
    int published = 0;
    for (const Frame& f : round.frames)
        if (dev.deliver_frame(f.decoded.data(), static_cast<int>(f.decoded.size())) == 0) ++published;
    return published;
}

bool publishes_truth(const Tarnel_BRELM_PXR52_419& dev, const CaptureRound& round) {
    pxr52_419_Data_t published = dev.data;
    std::memset(published.time, 0, sizeof published.time);
    return dev.data_valid == 1 && std::memcmp(&published, &round.truth, sizeof published) == 0;
}

IniDirectory::IniDirectory(unsigned data_id, const std::string& ini_text) {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr) throw std::runtime_error("getcwd failed");
    old_cwd_ = cwd;
    char tmpl[] = "/tmp/smd-bench-XXXXXX";
    if (::mkdtemp(tmpl) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
    const std::string ini_dir = dir_ + "/ini";
    if (::mkdir(ini_dir.c_str(), 0700) != 0) throw std::runtime_error("mkdir failed");
    file_ = ini_dir + "/" + std::to_string(data_id) + ".ini";
    std::ofstream(file_) << ini_text;
    if (::chdir(dir_.c_str()) != 0) throw std::runtime_error("chdir failed");
}

IniDirectory::~IniDirectory() {
    if (::chdir(old_cwd_.c_str()) != 0) std::perror("chdir back");
    // The one file this object made, then its two directories.
    ::unlink(file_.c_str());
    ::rmdir((dir_ + "/ini").c_str());
    ::rmdir(dir_.c_str());
}

}  // namespace bench
