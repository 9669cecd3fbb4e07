#include "tools/smdhost/inputs/scenario.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include <json/reader.h>

#include "host/frame_codec.hpp"
#include "host/sim_clock.hpp"

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

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool parse_byte(const std::string& text, unsigned char& out) {
    if (text.size() != 2) return false;
    const int hi = hex_digit(text[0]);
    const int lo = hex_digit(text[1]);
    if (hi < 0 || lo < 0) return false;
    out = static_cast<unsigned char>(hi << 4 | lo);
    return true;
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

// YYYY-MM-DDTHH:MM:SS, local time.
bool parse_datetime(const std::string& text, double& epoch) {
    int y, mo, d, h, mi, s;
    char tail;
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':')
        return false;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) !=
        6)
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 ||
        s > 59)
        return false;
    const std::time_t t = smdhost::sim_clock::local_epoch(y, mo, d, h, mi, s);
    if (t == static_cast<std::time_t>(-1)) return false;
    epoch = static_cast<double>(t);
    return true;
}

std::string join_path(const std::string& folder, const std::string& name) {
    if (name.empty() || name[0] == '/' || folder.empty()) return name;
    return folder + "/" + name;
}

std::string folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool parse_frame_decoded(const std::string& rest, Directive& d, std::string& error) {
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
    const std::string frame = smdhost::encode_frame(0x20, 0x01, c1, c2, info.data(), info.size());
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

bool read_at_path(const std::string& arg, const std::string& folder, std::string& path,
                  std::string& content, std::string& error) {
    path = join_path(folder, arg.substr(1));
    if (arg.size() < 2) {
        error = "'@' needs a file name";
        return false;
    }
    return read_file(path, content, error);
}

}  // namespace

bool read_file(const std::string& path, std::string& out, std::string& error) {
    std::ifstream in;
    std::istream* src = &std::cin;
    if (path != "-") {
        in.open(path, std::ios::binary);
        if (!in) {
            error = std::string("cannot read ") + path + ": " + std::strerror(errno);
            return false;
        }
        src = &in;
    }
    std::ostringstream buf;
    buf << src->rdbuf();
    if (src->bad()) {
        error = "error while reading " + path;
        return false;
    }
    out = buf.str();
    return true;
}

bool parse_json(const std::string& text, Json::Value& out, std::string& error) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errs;
    if (!reader->parse(text.data(), text.data() + text.size(), &out, &errs)) {
        // The reader's message spans lines; one line is enough here.
        for (auto& c : errs)
            if (c == '\n') c = ' ';
        error = "not valid JSON: " + trim(errs);
        return false;
    }
    return true;
}

bool parse_hex(const std::string& text, std::vector<unsigned char>& out, std::string& error) {
    out.clear();
    int hi = -1;
    for (char c : text) {
        if (is_space(c) || c == '\r') {
            if (hi >= 0) {
                error = "hex bytes need two digits each";
                return false;
            }
            continue;
        }
        const int v = hex_digit(c);
        if (v < 0) {
            error = std::string("'") + c + "' is not a hex digit";
            return false;
        }
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(static_cast<unsigned char>(hi << 4 | v));
            hi = -1;
        }
    }
    if (hi >= 0) {
        error = "odd number of hex digits";
        return false;
    }
    return true;
}

bool parse_line(const std::string& raw, const std::string& file, int line,
                const std::string& folder, std::vector<Directive>& out, std::string& error) {
    const std::string text = trim(raw);
    if (text.empty() || text[0] == '#') return true;

    Directive d;
    d.file = file;
    d.line = line;
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
            error = "@+ needs a number of seconds (integer or decimal), not '" + text.substr(2) +
                    "'";
            return false;
        }
    } else if (text.compare(0, 2, "@=") == 0) {
        d.kind = Directive::Kind::set_clock;
        if (!parse_datetime(text.substr(2), d.epoch)) {
            error = "@= needs a local time YYYY-MM-DDTHH:MM:SS, not '" + text.substr(2) + "'";
            return false;
        }
    } else if (lead == '!') {
        std::string rest;
        const std::string word = first_word(text, rest);
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
        } else if (word == "!load") {
            d.kind = Directive::Kind::load;
            if (!rest.empty() && rest[0] == '@') {
                std::string path;
                std::string content;
                if (!read_at_path(rest, folder, path, content, error)) return false;
                d.bytes.assign(content.begin(), content.end());
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
                std::string path;
                std::string content;
                if (!read_at_path(rest, folder, path, content, error)) return false;
                if (!parse_json(content, d.config, error)) {
                    error = path + ": " + error;
                    return false;
                }
                d.has_config = true;
            }
        } else {
            error = "unknown directive " + word;
            return false;
        }
    } else {
        error = "not a directive: '" + (text.size() > 40 ? text.substr(0, 40) + "..." : text) + "'";
        return false;
    }
    out.push_back(std::move(d));
    return true;
}

bool parse_file(const std::string& path, std::vector<Directive>& out, std::string& error) {
    std::string content;
    if (!read_file(path, content, error)) return false;
    const std::string name = path == "-" ? "<stdin>" : path;
    const std::string folder = path == "-" ? "." : folder_of(path);
    std::size_t pos = 0;
    int line = 0;
    while (pos < content.size()) {
        ++line;
        std::size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        const std::string text = content.substr(pos, end - pos);
        pos = end + 1;
        if (text.find('\0') != std::string::npos) {
            error = name + ":" + std::to_string(line) +
                    ": binary bytes in a scenario (replay raw captures with --raw)";
            return false;
        }
        std::string why;
        if (!parse_line(text, name, line, folder, out, why)) {
            error = name + ":" + std::to_string(line) + ": " + why;
            return false;
        }
    }
    return true;
}

}  // namespace smdscenario
