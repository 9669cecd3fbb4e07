// pmbuspower_419::DeviceIoControl: control requests from the host.
//
// Codes 300, 310 and 320 each send at most one command to the power system;
// no reply is awaited here (in active mode the poll sequencer notices it and
// sets control_ack to 1). Every other code is a query that reports
// control_ack. Results:
//   300  -1 when the input is not 7 bytes, else the host's result;
//   310  -1 when the text is not JSON or the value cannot be encoded,
//        0 when the command was sent, else the host's result;
//   320 and queries: the host's result.
// "The host's result" is SMDVDevice::DeviceIoControl called with the same six
// arguments.
//
// All input is untrusted: nothing is read outside `in_len` bytes at `in`, a
// null `in` or a negative length counts as no input, and the output word is
// written only to a non-null `out` with `out_size` of at least 4.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include <json/reader.h>
#include <json/value.h>

#include "device/device_types.hpp"
#include "device/le_bytes.hpp"

namespace {

constexpr int kSetClock = 300;
constexpr int kSetDcParameter = 310;
constexpr int kRectifierControl = 320;

constexpr unsigned char kCidRectifier = 0x41;
constexpr unsigned char kCidDc = 0x42;
constexpr unsigned char kCmdSetTime = 0x4E;         // 0x41/0x4E, 7 time bytes
constexpr unsigned char kCmdRectifierCtl = 0x45;    // 0x41/0x45, 2 bytes
constexpr unsigned char kCmdSetParamFloat = 0x48;   // 0x42/0x48, type + f32 LE
constexpr unsigned char kCmdSetParamFixed = 0x49;   // 0x42/0x49, type + word BE
constexpr int kClockBytes = 7;

// Models whose command encodings differ from any other device type.
const char* const kModelKeys[] = {"pxr52_419", "r318e_419", "r905q_419", "gwe37t_419"};

bool is_model_key(const std::string& device_type) {
    for (const char* key : kModelKeys)
        if (device_type == key) return true;
    return false;
}

// The request text: the `len` bytes at `in`, ending early at a NUL byte. A
// signal id or a JSON text never holds a NUL, so a caller that passes a
// C string with its buffer size gets the text it meant, and nothing beyond
// the terminator is taken. Null `in` or len <= 0: empty text.
std::string request_text(const void* in, int len) {
    if (in == nullptr || len <= 0) return std::string();
    const char* p = static_cast<const char*>(in);
    const void* nul = std::memchr(p, '\0', static_cast<std::size_t>(len));
    const std::size_t n =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - p)
                       : static_cast<std::size_t>(len);
    return std::string(p, n);
}

// Writes `value` as one 32-bit int at `out` (any alignment) and sets out_len
// to 4. False, with nothing written, when there is no room for it.
bool put_output_word(void* out, int out_size, std::int32_t value, int& out_len) {
    if (out == nullptr || out_size < 4) return false;
    std::memcpy(out, &value, sizeof value);
    out_len = 4;
    return true;
}

// ---- 310: one DC-distribution parameter --------------------------------
//
// Request:  {"signal_id":"4196A3101001","SetValue":"53.5"}
// Sent on a "pxr52_419":   0x42/0x49  85 | 14 E6         (type, v x 100 BE)
// Sent on other types:     0x42/0x48  DC | 00 00 56 42   (type, v as f32 LE)
//                                     0    1  2  3  4
struct DcParameter {
    const char* signal_ids[2];  // either id selects the parameter
    unsigned char pxr52_type;   // 0x49 command, "pxr52_419"
    unsigned char r318e_type;   // 0x48 command, "r318e_419"
    unsigned char r905q_type;   // 0x48 command, "r905q_419"
    unsigned char other_type;   // 0x48 command, any other device type
};
constexpr DcParameter kDcParameters[] = {
    {{"4196A3101001", "150600370010"}, 0x85, 0xF2, 0xEC, 0xDC},  // parameter A
    {{"4196A3201001", "150600410010"}, 0x84, 0xF1, 0xEB, 0xDB},  // parameter B
};

const DcParameter* find_dc_parameter(const std::string& signal_id) {
    for (const DcParameter& p : kDcParameters)
        for (const char* id : p.signal_ids)
            if (signal_id == id) return &p;
    return nullptr;
}

// The text of member `key` of a JSON object: a string, a number or a boolean
// as the JSON library renders it. False when the member is absent or null, or
// has no text (an object or an array), or `root` is not an object.
bool member_text(const Json::Value& root, const char* key, std::string& text) {
    if (!root.isObject() || !root.isMember(key)) return false;
    const Json::Value& v = root[key];
    if (v.isNull() || v.isObject() || v.isArray()) return false;
    text = v.asString();
    return true;
}

// Parses `text` with the JSON library's classic reader (Json::Reader):
// comments allowed and text after the first value ignored, but a trailing
// comma or a leading byte-order mark is a syntax error, so such a request
// sends nothing (the builder's default reader accepts both). False on any
// error. Its nesting limit throws; that is a refusal like any other, never an
// exception to the host.
bool parse_json(const std::string& text, Json::Value& root) {
    if (text.empty()) return false;
    try {
        Json::Reader reader;
        return reader.parse(text.data(), text.data() + text.size(), root);
    } catch (const std::exception&) {
        return false;
    }
}

// Fixed-point information: type, then v x 100 truncated toward zero as a
// 16-bit word, most significant byte first. The word carries every value in
// -32768..65535 exactly (negative ones two's complement); anything else,
// NaN and infinities included, would reach the plant as a different value,
// so it is refused (false, nothing written).
bool encode_fixed(unsigned char type, double v, unsigned char info[3]) {
    const double scaled = std::trunc(v * 100.0);
    if (!(scaled >= -32768.0 && scaled <= 65535.0)) return false;
    const unsigned word = static_cast<unsigned>(static_cast<long>(scaled)) & 0xFFFFu;
    info[0] = type;
    info[1] = static_cast<unsigned char>(word >> 8);
    info[2] = static_cast<unsigned char>(word & 0xFF);
    return true;
}

// Float information: type, then v as IEEE-754 single precision, least
// significant byte first. A value that is not finite or beyond the single
// precision range is refused (false, nothing written).
bool encode_float(unsigned char type, double v, unsigned char info[5]) {
    if (!std::isfinite(v) || std::fabs(v) > static_cast<double>(FLT_MAX)) return false;
    info[0] = type;
    pxr52::store_f32(info + 1, static_cast<float>(v));
    return true;
}

// ---- 320: rectifier control ------------------------------------------------
//
// Request: "419500201003"   -> 0x41/0x45  20 03 on a model key, E5 03 otherwise
//           012345678 9..11     (characters 10 to 12 give the module number n)
struct RectifierCommand {
    const char* signal_id;
    bool prefix;               // true: the request begins with signal_id
    unsigned char model_op;    // first byte when device_type is a model key
    unsigned char other_op;    // first byte for any other device type
    bool module_number;        // second byte n; else the constant 0x02
};
constexpr RectifierCommand kRectifierCommands[] = {
    {"419500201", true, 0x20, 0xE5, true},
    {"419500200", true, 0x2F, 0xE6, true},
    {"419500600001", false, 0x1F, 0x1F, false},
    {"419500601001", false, 0x10, 0x10, false},
    {"419500602001", false, 0x11, 0x11, false},
};

const RectifierCommand* find_rectifier_command(const std::string& text) {
    for (const RectifierCommand& c : kRectifierCommands) {
        const bool hit = c.prefix ? text.compare(0, std::strlen(c.signal_id), c.signal_id) == 0
                                  : text == c.signal_id;
        if (hit) return &c;
    }
    return nullptr;
}

// Decimal value of characters 10 to 12 (fewer when the text is shorter, 0
// when there are none), reduced to its low 8 bits. At most three characters
// are converted, so the conversion cannot overflow.
unsigned char module_number(const std::string& text) {
    const std::string digits = text.size() > 9 ? text.substr(9, 3) : std::string();
    return static_cast<unsigned char>(std::atoi(digits.c_str()));
}

}  // namespace

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::DeviceIoControl(int code, const void* in, int in_len, void* out,
                                           int out_size, int& out_len) {
    if (code == kSetClock) {
        this->cmd_state = kSetClock;
        control_ack = -1;
        this->OpenPort();
        // The caller supplies the 7 time bytes of the command set.
        if (in_len != kClockBytes || in == nullptr) return -1;
        this->write_pmbus_cmd(kCidRectifier, kCmdSetTime, static_cast<const unsigned char*>(in),
                              kClockBytes);
        put_output_word(out, out_size, 1, out_len);
        return SMDVDevice::DeviceIoControl(code, in, in_len, out, out_size, out_len);
    }

    if (code == kSetDcParameter) {
        control_ack = -1;
        this->cmd_state = kSetDcParameter;
        this->OpenPort();
        Json::Value root;
        if (!parse_json(request_text(in, in_len), root)) return -1;
        std::string signal_id;
        std::string set_value;
        const DcParameter* param = nullptr;
        if (member_text(root, "signal_id", signal_id) && !signal_id.empty())
            param = find_dc_parameter(signal_id);
        if (param == nullptr || !member_text(root, "SetValue", set_value))
            return SMDVDevice::DeviceIoControl(code, in, in_len, out, out_size, out_len);

        // Text that is not a number gives 0, as the C conversion does.
        const double v = std::strtod(set_value.c_str(), nullptr);
        const std::string& type = this->device_type;
        unsigned char info[5];
        if (type == "pxr52_419") {
            if (!encode_fixed(param->pxr52_type, v, info)) return -1;
            this->write_pmbus_cmd(kCidDc, kCmdSetParamFixed, info, 3);
        } else {
            const unsigned char t = type == "r318e_419"   ? param->r318e_type
                                    : type == "r905q_419" ? param->r905q_type
                                                          : param->other_type;
            if (!encode_float(t, v, info)) return -1;
            this->write_pmbus_cmd(kCidDc, kCmdSetParamFloat, info, 5);
        }
        control_ack = -1;
        return 0;
    }

    if (code == kRectifierControl) {
        // cmd_state is left alone: the reply is noticed only between rounds.
        this->refresh_wait = kRectifierControl;
        control_ack = -1;
        this->OpenPort();
        const std::string text = request_text(in, in_len);
        if (const RectifierCommand* c = find_rectifier_command(text)) {
            const unsigned char info[2] = {
                is_model_key(this->device_type) ? c->model_op : c->other_op,
                c->module_number ? module_number(text) : static_cast<unsigned char>(0x02)};
            this->write_pmbus_cmd(kCidRectifier, kCmdRectifierCtl, info, 2);
        }
        return SMDVDevice::DeviceIoControl(code, in, in_len, out, out_size, out_len);
    }

    // Query: the state of the last control.
    if (!put_output_word(out, out_size, control_ack, out_len)) out_len = 0;
    return SMDVDevice::DeviceIoControl(code, in, in_len, out, out_size, out_len);
}

template int PowerDevice::DeviceIoControl(int, const void*, int, void*, int, int&);
