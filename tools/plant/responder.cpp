#include "tools/plant/responder.hpp"

#include <algorithm>

#include "device/le_bytes.hpp"
#include "host/frame_codec.hpp"

namespace plant {

namespace {

// One command being answered.
struct Request {
    Plant& plant;
    const ResponderConfig& config;
    unsigned char cid2;
    const unsigned char* info;
    std::size_t len;

    ReplyLayout layout() const {
        ReplyLayout l;
        l.format = cid2 == 0x41 ? NumberFormat::floating : NumberFormat::fixed;
        const unsigned char group = len >= 1 ? info[0] : config.cg;
        l.ac_screen_byte = group == 0xFF;
        l.dc_layout = config.dc_layout;
        l.data_flag = plant.data_flag();
        return l;
    }
};

using Encoder = Bytes (*)(const PlantState&, const ReplyLayout&);

// Replies that report plant state.
struct DataCommand {
    unsigned char cid1;
    unsigned char cid2;
    Encoder encode;
    enum Marks : unsigned char { none, switches, alarms } marks;  // flag bit the reply clears
};

const DataCommand kDataCommands[] = {
    {0x40, 0x41, ac_analog_info, DataCommand::none},
    {0x40, 0x42, ac_analog_info, DataCommand::none},
    {0x40, 0x43, ac_switch_info, DataCommand::switches},
    {0x40, 0x44, ac_alarm_info, DataCommand::alarms},
    {0x40, 0x47, ac_param_info, DataCommand::none},
    {0x41, 0x41, rect_analog_info, DataCommand::none},
    {0x41, 0x42, rect_analog_info, DataCommand::none},
    {0x41, 0x43, rect_switch_info, DataCommand::switches},
    {0x41, 0x44, rect_alarm_info, DataCommand::alarms},
    {0x41, 0x47, rect_param_info, DataCommand::none},
    {0x42, 0x41, dc_analog_info, DataCommand::none},
    {0x42, 0x42, dc_analog_info, DataCommand::none},
    {0x42, 0x44, dc_alarm_info, DataCommand::alarms},
    {0x42, 0x47, dc_param_info, DataCommand::none},
    {0x80, 0x42, model_info, DataCommand::none},
};

// 0x41/0x4E: year (big-endian 16-bit), month, day, hour, minute, second.
unsigned char set_clock(Request& r) {
    if (r.len != 7) return kRtnFormat;
    return r.plant.set_clock(r.info, 7) ? kRtnNormal : kRtnInvalidData;
}

// 0x41/0x45: type, n.
unsigned char rectifier_control(Request& r) {
    if (r.len != 2) return kRtnFormat;
    const unsigned char type = r.info[0];
    const int n = r.info[1];
    switch (type) {
    case 0x20:
    case 0xE5: return r.plant.set_rectifier_on(n, true) ? kRtnNormal : kRtnInvalidData;
    case 0x2F:
    case 0xE6: return r.plant.set_rectifier_on(n, false) ? kRtnNormal : kRtnInvalidData;
    case 0x1F: r.plant.set_charge_mode(0); return kRtnNormal;
    case 0x10: r.plant.set_charge_mode(1); return kRtnNormal;
    case 0x11: r.plant.set_charge_mode(2); return kRtnNormal;
    default: return kRtnInvalidData;
    }
}

unsigned char set_voltage(Plant& plant, bool equalise, double v) {
    const bool ok = equalise ? plant.set_equalize_voltage(v) : plant.set_float_voltage(v);
    return ok ? kRtnNormal : kRtnInvalidData;
}

// 0x42/0x48: type, float (little-endian).
unsigned char set_parameter_float(Request& r) {
    if (r.len != 5) return kRtnFormat;
    const double v = pxr52::load_f32(r.info + 1);
    switch (r.info[0]) {
    case 0xDC:
    case 0xF2:
    case 0xEC: return set_voltage(r.plant, false, v);
    case 0xDB:
    case 0xF1:
    case 0xEB: return set_voltage(r.plant, true, v);
    default: return kRtnInvalidData;
    }
}

// 0x42/0x49: type, signed 16-bit hundredths, big-endian.
unsigned char set_parameter_fixed(Request& r) {
    if (r.len != 3) return kRtnFormat;
    const auto raw = static_cast<std::int16_t>(static_cast<std::uint16_t>(pxr52::load_be16(r.info + 1)));
    const double v = raw / 100.0;
    switch (r.info[0]) {
    case 0x85: return set_voltage(r.plant, false, v);
    case 0x84: return set_voltage(r.plant, true, v);
    default: return kRtnInvalidData;
    }
}

struct ControlCommand {
    unsigned char cid1;
    unsigned char cid2;
    unsigned char (*apply)(Request&);
};

const ControlCommand kControlCommands[] = {
    {0x41, 0x4E, set_clock},
    {0x41, 0x45, rectifier_control},
    {0x42, 0x48, set_parameter_float},
    {0x42, 0x49, set_parameter_fixed},
};

}  // namespace

Reply Responder::reply(const unsigned char* frame, std::size_t size) {
    Reply out;
    if (frame == nullptr || size < smdhost::kDecodedHeader) return out;
    if (frame[1] != config_.address) return out;
    out.answered = true;
    out.ver = frame[0];
    out.adr = frame[1];
    out.cid1 = frame[2];
    const unsigned char cid2 = frame[3];
    const std::size_t lenid = static_cast<std::size_t>(frame[4] | frame[5] << 8);
    Request req{plant_, config_, cid2, frame + smdhost::kDecodedHeader,
                std::min(lenid / 2, size - smdhost::kDecodedHeader)};

    for (const auto& c : kDataCommands) {
        if (c.cid1 != out.cid1 || c.cid2 != cid2) continue;
        out.info = c.encode(plant_.state(), req.layout());
        if (c.marks == DataCommand::switches) plant_.switches_read();
        if (c.marks == DataCommand::alarms) plant_.alarms_read();
        out.rtn = kRtnNormal;
        return out;
    }
    for (const auto& c : kControlCommands) {
        if (c.cid1 != out.cid1 || c.cid2 != cid2) continue;
        out.rtn = c.apply(req);
        return out;
    }
    out.rtn = kRtnUnknownCommand;
    return out;
}

std::string Responder::answer(const unsigned char* frame, std::size_t size) {
    const Reply r = reply(frame, size);
    if (!r.answered) return {};
    return smdhost::encode_frame(r.ver, r.adr, r.cid1, r.rtn, r.info.data(), r.info.size());
}

}  // namespace plant
