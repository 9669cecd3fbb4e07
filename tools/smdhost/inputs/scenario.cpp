#include "tools/smdhost/inputs/scenario.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "host/frame_codec.hpp"
#include "tools/common/hex_codec.hpp"
#include "tools/smdhost/session/local_time.hpp"

namespace smdscenario {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t'; }

std::string trim(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && (is_space(s[b]) || s[b] == '\r')) ++b;
    while (e > b && (is_space(s[e - 1]) || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

// Splits off the first word; `rest` keeps the text after the blanks that follow it.
std::string first_word(const std::string& s, std::string& rest) {
    std::size_t e = 0;
    while (e < s.size() && !is_space(s[e])) ++e;
    std::size_t r = e;
    while (r < s.size() && is_space(s[r])) ++r;
    rest = s.substr(r);
    return s.substr(0, e);
}

bool parse_byte(const std::string& text, unsigned char& out) {
    if (text.size() != 2) return false;
    const int hi = hexcodec::digit_value(text[0]);
    const int lo = hexcodec::digit_value(text[1]);
    if (hi < 0 || lo < 0) return false;
    out = static_cast<unsigned char>(hi << 4 | lo);
    return true;
}

// Hex bytes of a directive's argument.
bool parse_hex(const std::string& text, std::vector<unsigned char>& out, std::string& error) {
    out.clear();
    hexcodec::DecodeError why;
    if (hexcodec::decode(text, out, why)) return true;
    error = hexcodec::describe(why);
    return false;
}

// Non-negative decimal: digits, optionally a point and more digits.
bool parse_decimal(const std::string& text, double& out) {
    std::size_t k = 0;
    std::size_t digits = 0;
    while (k < text.size() && text[k] >= '0' && text[k] <= '9') ++k, ++digits;
    if (k < text.size() && text[k] == '.') {
        ++k;
        while (k < text.size() && text[k] >= '0' && text[k] <= '9') ++k, ++digits;
    }
    if (digits == 0 || k != text.size()) return false;
    out = std::strtod(text.c_str(), nullptr);
    return std::isfinite(out);
}

bool parse_uint(const std::string& text, unsigned long max, unsigned long& out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    const unsigned long v = std::strtoul(text.c_str(), nullptr, 10);
    if (errno != 0 || v > max) return false;
    out = v;
    return true;
}

bool parse_int(const std::string& text, int& out) {
    std::string digits = text;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
        negative = digits[0] == '-';
        digits.erase(0, 1);
    }
    unsigned long v = 0;
    if (!parse_uint(digits, 2147483648UL, v)) return false;
    if (!negative && v > 2147483647UL) return false;
    out = negative ? static_cast<int>(-static_cast<long long>(v)) : static_cast<int>(v);
    return true;
}

// At most 40 characters of `text`, for a message.
std::string shortened(const std::string& text) {
    return text.size() > 40 ? text.substr(0, 40) + "..." : text;
}

std::string join_path(const std::string& folder, const std::string& name) {
    if (name.empty() || name[0] == '/' || folder.empty()) return name;
    return folder + "/" + name;
}

bool parse_frame_decoded(const std::string& line, Directive& d, std::string& error) {
    // "adr=N" first: the frame of the device at address N (several devices
    // on one line); ADR 01 without it.
    std::string rest = line;
    unsigned long adr = 0x01;
    if (rest.compare(0, 4, "adr=") == 0) {
        std::string after;
        const std::string word = first_word(rest, after);
        if (!parse_uint(word.substr(4), 255, adr)) {
            error = "'>': '" + shortened(word) + "' is not adr=N with N 0..255";
            return false;
        }
        rest = after;
    }
    std::string after_cid1;
    std::string after_cid2;
    const std::string cid1 = first_word(rest, after_cid1);
    const std::string cid2 = first_word(after_cid1, after_cid2);
    unsigned char c1;
    unsigned char c2;
    if (!parse_byte(cid1, c1) || !parse_byte(cid2, c2)) {
        error = "'>' needs CID1 and CID2 as two hex digits each";
        return false;
    }
    std::vector<unsigned char> info;
    if (!parse_hex(after_cid2, info, error)) return false;
    if (info.size() > smdhost::kMaxInfoBytes) {
        error = "frame holds " + std::to_string(info.size()) + " information bytes, at most " +
                std::to_string(smdhost::kMaxInfoBytes) + " fit in a frame";
        return false;
    }
    const std::string frame = smdhost::encode_frame(0x20, static_cast<unsigned char>(adr), c1, c2,
                                                    info.data(), info.size());
    d.bytes.assign(frame.begin(), frame.end());
    return true;
}

bool parse_ioctl(const std::string& rest, Directive& d, std::string& error) {
    std::string after;
    const std::string code = first_word(rest, after);
    if (code.empty() || !parse_int(code, d.code)) {
        error = "!ioctl needs a control code (an integer)";
        return false;
    }
    if (after.compare(0, 4, "out=") == 0) {
        std::string after_out;
        const std::string out = first_word(after, after_out);
        unsigned long n = 0;
        if (!parse_uint(out.substr(4), kMaxIoctlOut, n)) {
            error = "out=N needs N from 0 to " + std::to_string(kMaxIoctlOut);
            return false;
        }
        d.out_size = static_cast<int>(n);
        after = after_out;
    }
    if (after.compare(0, 4, "hex:") == 0) {
        return parse_hex(after.substr(4), d.bytes, error);
    }
    // Anything else is the request text, verbatim.
    d.bytes.assign(after.begin(), after.end());
    return true;
}

// A @PATH argument resolved against `folder`.
bool at_path(const std::string& arg, const std::string& folder, Directive& d, std::string& error) {
    if (arg.size() < 2) {
        error = "'@' needs a file name";
        return false;
    }
    d.path = join_path(folder, arg.substr(1));
    d.has_path = true;
    return true;
}

}  // namespace

std::string folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool parse_line(const std::string& raw, const std::string& folder, Directive& d,
                std::string& error) {
    d = Directive{};
    const std::string text = trim(raw);
    if (text.empty() || text[0] == '#') return true;
    const char lead = text[0];

    if (lead == '~') {
        // As heard on the line; the line end is its EOI.
        d.kind = Directive::Kind::frame;
        d.bytes.assign(text.begin(), text.end());
        d.bytes.push_back('\r');
    } else if (lead == '>') {
        d.kind = Directive::Kind::frame;
        if (!parse_frame_decoded(trim(text.substr(1)), d, error)) return false;
    } else if (text.compare(0, 2, "@+") == 0) {
        d.kind = Directive::Kind::advance;
        if (!parse_decimal(text.substr(2), d.seconds)) {
            error = "@+ needs a number of seconds (integer or decimal), not '" +
                    shortened(text.substr(2)) + "'";
            return false;
        }
    } else if (text.compare(0, 2, "@=") == 0) {
        d.kind = Directive::Kind::set_clock;
        std::string why;
        if (!smdtime::parse_local(text.substr(2), d.epoch, why)) {
            error = "@= needs a local time YYYY-MM-DDTHH:MM:SS from 1400-01-01T00:00:00 to "
                    "9999-12-31T23:59:59, not '" +
                    shortened(text.substr(2)) + "' (" + why + ")";
            return false;
        }
    } else if (lead == '!') {
        std::string rest;
        const std::string word = first_word(text, rest);
        if (word != "!raw" && rest.compare(0, 4, "adr=") == 0) {
            std::string after;
            const std::string adr = first_word(rest, after);
            unsigned long v = 0;
            if (!parse_uint(adr.substr(4), 255, v)) {
                error = word + ": '" + shortened(adr) + "' is not adr=N with N 0..255";
                return false;
            }
            d.adr = static_cast<int>(v);
            rest = after;
        }
        if (word == "!refresh" || word == "!reset" || word == "!error") {
            if (!rest.empty()) {
                error = word + " takes no argument";
                return false;
            }
            d.kind = word == "!refresh" ? Directive::Kind::refresh
                     : word == "!reset" ? Directive::Kind::reset
                                        : Directive::Kind::error;
        } else if (word == "!get") {
            d.kind = Directive::Kind::get;
            std::string after_name;
            d.name = first_word(rest, after_name);
            if (d.name.empty()) {
                error = "!get needs a value name";
                return false;
            }
            if (!after_name.empty()) {
                std::string extra;
                const std::string id = first_word(after_name, extra);
                unsigned long v = 0;
                if (!parse_uint(id, 0xFFFFFFFFUL, v) || !extra.empty()) {
                    error = "!get NAME [ID]: ID must be an unsigned integer";
                    return false;
                }
                d.id = static_cast<unsigned>(v);
            }
        } else if (word == "!raw") {
            d.kind = Directive::Kind::raw;
            if (!parse_hex(rest, d.bytes, error)) {
                error = "!raw: " + error;
                return false;
            }
            if (d.bytes.empty()) {
                error = "!raw needs the bytes heard, as hex";
                return false;
            }
        } else if (word == "!load") {
            d.kind = Directive::Kind::load;
            if (!rest.empty() && rest[0] == '@') {
                if (!at_path(rest, folder, d, error)) return false;
            } else if (!parse_hex(rest, d.bytes, error)) {
                error = "!load: " + error;
                return false;
            }
        } else if (word == "!ioctl") {
            d.kind = Directive::Kind::ioctl;
            if (!parse_ioctl(rest, d, error)) {
                error = "!ioctl: " + error;
                return false;
            }
        } else if (word == "!init") {
            d.kind = Directive::Kind::init;
            if (!rest.empty()) {
                if (rest[0] != '@') {
                    error = "!init takes nothing or @PATH of a configuration";
                    return false;
                }
                if (!at_path(rest, folder, d, error)) return false;
            }
        } else {
            error = "unknown directive " + word;
            return false;
        }
    } else {
        error = "not a directive: '" + shortened(text) + "'";
        return false;
    }
    return true;
}

}  // namespace smdscenario
