// Writes seed inputs for every fuzz target into DIR/<target>/, in the input
// formats the targets document, from the plant simulator: whole capture
// rounds (clean and noisy, typical and with counts beyond the record's
// capacities), the active-mode conversation of both device classes in both
// number formats, truth records, configurations and control requests.
//
// Usage: fuzz_seeds DIR
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "device/pxr52_419.hpp"
#include "host/frame_codec.hpp"
#include "host/host_event.hpp"
#include "tools/plant/plant_model.hpp"
#include "tools/plant/responder.hpp"
#include "tools/plant/trace.hpp"

namespace {

using Bytes = std::vector<unsigned char>;

// Builds one input front to back, mirroring fuzzing::Input.
struct Seed {
    Bytes b;
    Seed& u8(unsigned v) {
        b.push_back(static_cast<unsigned char>(v));
        return *this;
    }
    Seed& u16(unsigned v) { return u8(v >> 8).u8(v & 0xFF); }
    Seed& i32(std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        return u16(u >> 16).u16(u & 0xFFFF);
    }
    Seed& raw(const Bytes& v) {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
    Seed& raw(const std::string& v) {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
    // Information length as the targets read it: u8, or 255 then u16.
    Seed& info(const Bytes& v) {
        if (v.size() < 255) {
            u8(static_cast<unsigned>(v.size()));
        } else {
            u8(255).u16(static_cast<unsigned>(v.size()));
        }
        return raw(v);
    }
};

std::string g_dir;

void write(const std::string& target, const std::string& name, const Seed& s) {
    const std::string dir = g_dir + "/" + target;
    ::mkdir(dir.c_str(), 0755);
    const std::string path = dir + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        return;
    }
    std::fwrite(s.b.data(), 1, s.b.size(), f);
    std::fclose(f);
}

// Decodes a line frame "~...\r"; false when it is not one good frame.
bool decode(const std::string& line, Bytes& frame) {
    smdhost::FrameDecoder d;
    for (unsigned char c : line)
        if (d.push(c) == smdhost::FrameDecoder::Status::frame) {
            frame.assign(d.frame(), d.frame() + d.frame_size());
            return true;
        }
    return false;
}

// Settings block of fuzz_devices.hpp's configure(): flags, ac_line, ac_type,
// open_41_43, skip_41_41, cg, no_dc_number, dc_i_adjust, dc_number.
Seed& settings(Seed& s, unsigned flags, unsigned cg = 0xFF, int no_dc_number = -1) {
    return s.u8(flags).u8(1).u8(0).u8(0).u8(0).u8(cg).u8(static_cast<unsigned char>(no_dc_number))
        .u8(1).i32(1);
}
// Host maps: `level` for every rule id, nothing else.
Seed& host_maps(Seed& s, int level) { return s.u8(static_cast<unsigned char>(level)).u8(0).u8(0).u8(0); }

constexpr unsigned kAllOn = 0x1F;  // has_ac has_dc has_a has_b has_c

plant::TraceConfig trace_config(const plant::PlantShape& shape, double noise, std::uint64_t seed) {
    plant::TraceConfig c;
    c.shape = shape;
    c.noise = noise;
    c.seed = seed;
    c.data_id = 5535;
    c.event_rate = 4.0;
    return c;
}

// ---- frame_decoder and capture_frames: rounds from the simulated master.
void capture_seeds() {
    const struct {
        const char* name;
        plant::PlantShape shape;
        double noise;
    } kinds[] = {
        {"typical", plant::PlantShape::typical(6, 1), 0.0},
        {"two_screens", plant::PlantShape::typical(40, 2), 0.0},
        {"varied", plant::PlantShape::varied(12, 2, 7), 0.0},
        {"noisy", plant::PlantShape::varied(4, 2, 9), 0.15},
    };
    static const unsigned char kCmds[][2] = {
        {0x40, 0x42}, {0x40, 0x43}, {0x40, 0x44}, {0x40, 0x47}, {0x41, 0x42}, {0x41, 0x43},
        {0x41, 0x44}, {0x42, 0x42}, {0x42, 0x44}, {0x42, 0x47}, {0x42, 0x81}, {0x42, 0xA4},
    };
    unsigned mode = 0;
    for (const auto& k : kinds) {
        plant::TraceGenerator gen(trace_config(k.shape, k.noise, 3));
        std::string line;
        Seed cap;
        cap.u8(mode++ % 4);
        settings(cap, kAllOn);
        host_maps(cap, 1);
        for (int round = 0; round < 2; ++round) {
            const plant::TraceRound r = gen.next_round();
            for (const auto& f : r.frames) {
                line += f.sent;
                Bytes frame;
                if (!decode(f.sent, frame)) continue;
                // A command by its own row; a response by the first row of its group.
                unsigned pick = 12;
                for (unsigned c = 0; c < 12 && pick == 12; ++c)
                    if (kCmds[c][0] == frame[2] && (!f.command || kCmds[c][1] == frame[3])) pick = c;
                const unsigned kind = f.command ? 0 : (frame[3] == 0 ? 1 : 2);
                cap.u8(pick + 13 * kind);
                if (pick == 12) cap.u8(frame[2]).u8(frame[3]);
                if (kind == 2) cap.u8(frame[3]);
                cap.info(Bytes(frame.begin() + 6, frame.end()));
            }
        }
        write("capture_frames", k.name, cap);
        Seed raw;
        raw.u8(0).raw(line);
        write("frame_decoder", k.name, raw);
        // The same line with LF ends, fed in 7-byte chunks.
        std::string lf = line;
        for (char& c : lf)
            if (c == '\r') c = '\n';
        Seed lfs;
        lfs.u8(1 | (6 << 2)).raw(lf);
        write("frame_decoder", std::string(k.name) + "_lf", lfs);
    }
}

// ---- poll_decoders: the active-mode conversation, replies from the plant.
class Sends : public smdhost::HostListener {
public:
    std::vector<smdhost::HostEvent> sent;
    void on_event(const smdhost::HostEvent& e) override {
        if (e.kind == smdhost::HostEvent::Kind::send) sent.push_back(e);
    }
};

// Row of a reply's decoder in the target's decoder table.
unsigned decoder_index(unsigned char cid1, unsigned char cid2) {
    if (cid1 == 0x42) return cid2 == 0x41 ? 0 : cid2 == 0x42 ? 2 : 4;
    if (cid1 == 0x41) return 6 + (cid2 - 0x41) % 4;
    static const unsigned kAc[] = {12, 13, 11, 10};  // 0x41 0x42 0x43 0x44
    return kAc[(cid2 - 0x41) % 4];
}

void poll_seeds() {
    static const int kStates[] = {100, 101, 102, 104, 105, 106, 107, 108, 50, 10, 0, 300, 310, 320, 103};
    int n = 0;
    for (int model = 0; model < 2; ++model)
        for (int floating = 0; floating < 2; ++floating)
            for (int layout = 1; layout <= 2; ++layout) {
                plant::Plant p(plant::PlantShape::varied(5, layout, 11 + n), 5);
                plant::Responder responder(p, plant::ResponderConfig{0x01, 0x01, layout});
                std::unique_ptr<PowerDevice> dev;
                if (model != 0)
                    dev = std::make_unique<pxr52_419>();
                else
                    dev = std::make_unique<PowerDevice>();
                Sends sends;
                dev->host_listener = &sends;
                dev->float_mode = static_cast<unsigned char>(floating);
                dev->has_dc = 1;
                dev->cg = 1;
                dev->no_dc_number = layout;

                Seed s;
                s.u8(model).u8(n % 5);
                settings(s, kAllOn | (floating << 6), 1, layout);
                host_maps(s, 1);
                Seed direct = s;
                s.u8(0xC0).u8(10);  // clock step, refresh
                dev->RefreshStatus();
                for (std::size_t k = 0; k < sends.sent.size() && k < 16; ++k) {
                    const smdhost::HostEvent cmd = sends.sent[k];
                    Bytes frame = {0x20, 0x01, cmd.cid1, cmd.cid2,
                                   static_cast<unsigned char>(cmd.bytes.size() * 2), 0};
                    frame.insert(frame.end(), cmd.bytes.begin(), cmd.bytes.end());
                    const plant::Reply reply = responder.reply(frame.data(), frame.size());
                    unsigned pick = 15;
                    for (unsigned st = 0; st < 15; ++st)
                        if (kStates[st] == dev->cmd_state) pick = st;
                    s.u8(pick);
                    if (pick == 15) s.i32(dev->cmd_state);
                    s.u8(reply.cid1).u8(reply.rtn).info(reply.info);
                    // The same reply straight into its decoder, when it fits a signed byte.
                    if (reply.info.size() < 127 && cmd.cid1 >= 0x40 && cmd.cid1 <= 0x42) {
                        const unsigned idx = decoder_index(cmd.cid1, cmd.cid2);
                        direct.u8(0x80 + idx).u8(static_cast<unsigned>(reply.info.size())).raw(reply.info);
                    }
                    Bytes decoded = {0x20, 0x01, reply.cid1, reply.rtn,
                                     static_cast<unsigned char>((reply.info.size() * 2) & 0xFF),
                                     static_cast<unsigned char>((reply.info.size() * 2) >> 8)};
                    decoded.insert(decoded.end(), reply.info.begin(), reply.info.end());
                    dev->deliver_frame(decoded.data(), static_cast<int>(decoded.size()));
                }
                write("poll_decoders", "round_" + std::to_string(n), s);
                write("poll_decoders", "direct_" + std::to_string(n), direct);
                ++n;
            }
}

// ---- cache_load: truth records of simulated rounds, every mode and class.
void cache_seeds() {
    plant::TraceGenerator gen(trace_config(plant::PlantShape::varied(8, 2, 5), 0.0, 21));
    for (unsigned mode = 0; mode < 5; ++mode) {
        const plant::TraceRound r = gen.next_round();
        const auto* rec = reinterpret_cast<const unsigned char*>(&r.truth);
        for (unsigned kind = 0; kind < 3; ++kind) {
            Seed s;
            s.u8(kind).u8(mode);
            if (mode == 4) s.u8(7);  // "other" mode 7
            settings(s, kAllOn, 0xFF, 2);
            host_maps(s, 2);
            s.u8(0).u8(0).u8(0);  // no AI entries, rules or values
            s.u8(0).u8(30);       // 1257 bytes; 30 s later
            s.raw(Bytes(rec, rec + sizeof r.truth));
            write("cache_load", "mode" + std::to_string(mode) + "_kind" + std::to_string(kind), s);
        }
    }
}

// ---- record_values: truth records of full and small plants, with --fields
// patterns that match, match in part and match nothing.
void record_value_seeds() {
    plant::TraceGenerator gen(trace_config(plant::PlantShape::varied(40, 2, 9), 0.0, 23));
    const char* const patterns[] = {"", "dc.*.voltage,rect.*.current", "rect.1[0-9],ac.?", "ac.1.a,nothing"};
    for (std::size_t k = 0; k < sizeof patterns / sizeof patterns[0]; ++k) {
        const plant::TraceRound r = gen.next_round();
        const auto* rec = reinterpret_cast<const unsigned char*>(&r.truth);
        Seed s;
        s.raw(Bytes(rec, rec + sizeof r.truth)).raw(std::string(patterns[k]));
        write("record_values", "round" + std::to_string(k), s);
    }
}

// ---- init_setting: configurations and threshold files.
void init_seeds() {
    struct Case {
        const char* name;
        unsigned place;
        const char* json;
        const char* ini;
    };
    static const Case kCases[] = {
        {"mode1_ini", 1,
         R"({"appSetting":{"b_mode":1,"has_dc":"1","cg":255,"ac_type":1}})",
         "[AI]\nua1=419110100001,A相电压\nub1=419110200001,B相电压\nf1=419113900001\n"
         "[ALARM]\ndoor=门磁告警,2\n"},
        {"mode1_type_ini", 7, R"({"appSetting":{"b_mode":"1"}})",
         "[AI]\nv=419120300001,,x\n"},
        {"mode1_yaml", 0, R"({"appSetting":{"b_mode":1}})", "AI:\n  a: 1\n"},
        {"mode1_broken_ini", 1, R"({})", "[AI\nkey\n"},
        {"mode3", 8,
         R"({"appSetting":{"b_mode":3},"thresholdSetting":{"a":{"SignalName":"s","NMAlarmID":"1","ID":"2","SignalNumber":"3"},"b":{"ID":7},"c":[1]}})",
         ""},
        {"mode5", 8,
         R"({"appSetting":{"b_mode":"5"},"thresholdSetting":{"v":{"SignalName":"dc_v","ID":"4196","UpValue":57.5,"UpReconverValue":"56","UpAlarmLevel":2,"LowValue":"45","LowReconverValue":46,"LowAlarmLevel":"1","Low2Value":"","Low2ReconverValue":1,"Low2AlarmLevel":1}}})",
         ""},
        {"odd_types", 8,
         R"({"appSetting":{"has_ac":[1],"has_dc":{"x":1},"cg":-1,"no_dc_number":2.5,"b_mode":true,"ac_line":"9999999999999"}})",
         ""},
        {"not_object", 8, R"({"appSetting":"b_mode=5","thresholdSetting":5})", ""},
    };
    for (const Case& c : kCases) {
        const std::string json = c.json;
        Seed s;
        s.u8(0).u8(1).u8(c.place).u16(static_cast<unsigned>(json.size())).raw(json).raw(std::string(c.ini));
        write("init_setting", c.name, s);
    }
}

// ---- device_ioctl: the control requests the supervision centre sends.
void ioctl_seeds() {
    struct Case {
        const char* name;
        unsigned kind, type, code;
        int out_size;
        const char* text;  // null: 7 clock bytes
    };
    static const Case kCases[] = {
        {"clock", 0, 0, 0, 4, nullptr},
        {"param_a_model", 1, 1, 1, 4, R"({"signal_id":"4196A3101001","SetValue":"53.5"})"},
        {"param_b_shipped", 0, 0, 1, 4, R"({"signal_id":"150600410010","SetValue":56.4})"},
        {"param_r318e", 2, 2, 1, 0, R"({"signal_id":"4196A3201001","SetValue":"1e40"})"},
        {"rect_on", 2, 4, 2, 4, "419500201003"},
        {"rect_off", 0, 0, 2, 4, "419500200040"},
        {"charge", 1, 1, 2, 4, "419500600001"},
        {"query", 0, 0, 3, 8, ""},
    };
    static const unsigned char kClock[7] = {0x07, 0xEA, 1, 1, 0, 0, 0};
    for (const Case& c : kCases) {
        Seed s;
        s.u8(c.kind).u8(c.type).u8(c.code).u8(static_cast<unsigned char>(c.out_size)).u8(0);
        if (c.text == nullptr)
            s.raw(Bytes(kClock, kClock + 7));
        else
            s.raw(std::string(c.text));
        write("device_ioctl", c.name, s);
    }
}

// ---- scenario: scenario text, and line bytes for the recorder.
void scenario_seeds() {
    plant::TraceGenerator gen(trace_config(plant::PlantShape::typical(6, 2), 0.2, 5));
    std::string scenario = "\xEF\xBB\xBF# a trace\n@=2026-01-01T00:00:00\n";
    std::string line;
    for (int round = 0; round < 2; ++round) {
        const plant::TraceRound r = gen.next_round();
        for (const auto& f : r.frames) {
            line += f.sent;
            std::string text = f.sent;
            if (!text.empty() && text.back() == '\r') text.back() = '\n';
            scenario += text.empty() ? "!raw 7E3230\n" : text + "@+0.041\n";
        }
        scenario += "!refresh\n!reset\n> 40 42 01\n!get out_v 1\n!load 0102\n"
                    "!ioctl 300 out=8 hex:01 02\n!init\n@+1.5\n";
    }
    Seed text;
    text.u8(2 * 63).raw(scenario);  // read in 64-byte chunks
    write("scenario", "trace", text);
    Seed heard;
    heard.u8(1 | 2 | (15 << 2)).raw(line);  // 16-byte chunks, refreshes between
    write("scenario", "heard", heard);
    Seed flood;
    flood.u8(1 | 2 | (63 << 2)).raw(std::string(300, '~') + line.substr(0, 200));
    write("scenario", "flood", flood);
}

}  // namespace

// Texts the monitor outputs meet: label values and events with quotes,
// line breaks and Chinese text, request paths, --mqtt and --http values.
void monitor_text_seeds() {
    const struct {
        const char* name;
        const char* text;
    } seeds[] = {
        {"label", "a\"b\\c\nd \xE5\x91\x8A\xE8\xAD\xA6"},
        {"event", "{\"ev\":\"publish\",\"t\":\"2026-01-01T00:00:06.000+00:00\"}\r\nsecond"},
        {"path", "js/../../outside/secret"},
        {"path_link", "up/outside/secret"},
        {"mqtt", "mqtt://[fd00::5]:1884/site/%E7%AB%99/a/"},
        {"listen", "[::1]:9752"},
    };
    for (const auto& s : seeds) write("monitor_text", s.name, Seed().raw(std::string(s.text)));
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    g_dir = argv[1];
    ::mkdir(g_dir.c_str(), 0755);
    capture_seeds();
    poll_seeds();
    cache_seeds();
    record_value_seeds();
    init_seeds();
    ioctl_seeds();
    monitor_text_seeds();
    scenario_seeds();
    return 0;
}
