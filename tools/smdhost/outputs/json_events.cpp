#include "tools/smdhost/outputs/json_events.hpp"

#include <cmath>
#include <cstdio>
#include <iostream>

#include "host/sim_clock.hpp"
#include "tools/smdhost/observer/event_time.hpp"
#include "tools/smdhost/observer/report_json.hpp"
#include "tools/smdhost/observer/report_text.hpp"

namespace smdevents {

namespace {

using smdhost::HostEvent;

// Length of the valid UTF-8 sequence starting at s[k], or 0.
std::size_t utf8_length(const std::string& s, std::size_t k) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(k);
    std::size_t n;
    unsigned min;
    unsigned cp;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) {
        n = 2;
        min = 0x80;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3;
        min = 0x800;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4;
        min = 0x10000;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (k + n > s.size()) return 0;
    for (std::size_t i = 1; i < n; ++i) {
        if ((b(k + i) & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (b(k + i) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

std::string hex2(unsigned char v) { return hex_upper(&v, 1); }

}  // namespace

std::string json_string(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (std::size_t k = 0; k < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[k]);
        if (c >= 0x80) {
            const std::size_t n = utf8_length(text, k);
            if (n == 0) {
                out += "\xEF\xBF\xBD";
                ++k;
            } else {
                out.append(text, k, n);
                k += n;
            }
            continue;
        }
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04X", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++k;
    }
    out += '"';
    return out;
}

std::string json_float(float v) {
    if (std::isnan(v)) return "\"nan\"";
    if (std::isinf(v)) return v > 0 ? "\"inf\"" : "\"-inf\"";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    return buf;
}

void JsonSink::host_event(const HostEvent& e) {
    std::string s = "{\"ev\":\"";
    s += smdhost::event_kind_name(e.kind);
    s += '"';
    switch (e.kind) {
        case HostEvent::Kind::send:
            s += ",\"cid1\":\"" + hex2(e.cid1) + "\",\"cid2\":\"" + hex2(e.cid2) + "\",\"info\":\"" +
                 hex_upper(e.bytes.data(), e.bytes.size()) + "\"";
            break;
        case HostEvent::Kind::publish:
            s += ",\"type\":" + std::to_string(static_cast<unsigned>(e.code)) +
                 ",\"len\":" + std::to_string(e.len) + ",\"record\":\"" +
                 hex_upper(e.bytes.data(), e.bytes.size()) + "\"";
            break;
        case HostEvent::Kind::history:
            s += ",\"len\":" + std::to_string(e.len);
            break;
        case HostEvent::Kind::threshold:
            s += ",\"id\":" + json_string(e.id) + ",\"name\":" + json_string(e.name) +
                 ",\"value\":" + json_float(e.value) + ",\"arg\":" + std::to_string(e.code);
            break;
        case HostEvent::Kind::alarm:
            s += ",\"level\":" + std::to_string(e.level) + ",\"key\":" + json_string(e.key) +
                 ",\"id\":" + json_string(e.id) + ",\"text1\":" + json_string(e.text1) +
                 ",\"text2\":" + json_string(e.text2) + ",\"active\":" +
                 (e.flag ? "true" : "false") + ",\"count\":" + std::to_string(e.count);
            break;
        case HostEvent::Kind::report:
            s += ",\"id\":" + json_string(e.id) + ",\"value\":" + json_float(e.value);
            break;
        case HostEvent::Kind::batch:
            s += ",\"rules\":" + std::to_string(e.count);
            break;
        case HostEvent::Kind::open_port:
        case HostEvent::Kind::host_init:
            break;
        case HostEvent::Kind::host_ioctl:
            s += ",\"code\":" + std::to_string(e.code);
            break;
        case HostEvent::Kind::payload:
            s += ",\"cid1\":\"" + hex2(e.cid1) + "\",\"cid2\":\"" + hex2(e.cid2) +
                 "\",\"len\":" + std::to_string(e.len) + ",\"result\":" + std::to_string(e.result);
            break;
        case HostEvent::Kind::frame_error:
            s += ",\"reason\":" + json_string(e.text1) + ",\"result\":" + std::to_string(e.result);
            break;
    }
    emit(std::move(s));
}

void JsonSink::call(const std::string& op, int result, const std::string& error) {
    std::string s = "{\"ev\":\"call\",\"op\":" + json_string(op);
    if (!error.empty())
        s += ",\"error\":" + json_string(error);
    else
        s += ",\"result\":" + std::to_string(result);
    emit(std::move(s));
}

void JsonSink::value(const std::string& name, bool ok, float value, const std::string& error) {
    std::string s = "{\"ev\":\"value\",\"name\":" + json_string(name);
    if (ok)
        s += ",\"value\":" + json_float(value);
    else
        s += ",\"error\":" + json_string(error);
    emit(std::move(s));
}

void JsonSink::ioctl(int code, int result, std::int32_t out, int out_len) {
    std::string s = "{\"ev\":\"ioctl\",\"code\":" + std::to_string(code) +
                    ",\"result\":" + std::to_string(result) + ",\"out\":" +
                    (out_len != 0 ? std::to_string(out) : std::string("null")) +
                    ",\"out_len\":" + std::to_string(out_len);
    emit(std::move(s));
}

void JsonSink::log(const std::string& line) {
    emit("{\"ev\":\"log\",\"line\":" + json_string(line));
}

void JsonSink::set_address(int adr) {
    adr_ = adr;
    adr_member_ = adr >= 0 ? ",\"adr\":" + std::to_string(adr) : std::string();
}

void JsonSink::notice(const std::string& text) {
    out_.flush();
    std::cerr << "smdhost: ";
    if (adr_ >= 0) std::cerr << "device " << adr_ << ": ";
    std::cerr << text << std::endl;
}

void JsonSink::cycle(const smdobserver::CycleReport& report) {
    if (!diagnostics_) return;
    Json::Value ev = smdobserver::cycle_event(report);
    if (adr_ >= 0) ev["adr"] = adr_;
    ev["t"] = stamp();
    out_.line(smdobserver::event_line(ev));
}

void JsonSink::line_note(const smdobserver::LineNote& note) {
    if (diagnostics_) notice(smdobserver::note_line(note));
}

void JsonSink::line_summary(const smdobserver::LineTotals& totals) {
    if (!diagnostics_) return;
    Json::Value ev = smdobserver::line_event(totals);
    if (adr_ >= 0) ev["adr"] = adr_;
    ev["t"] = stamp();
    out_.line(smdobserver::event_line(ev));
}

void JsonSink::frame_dissected(const std::string&) {}

void JsonSink::flush() { out_.flush(); }

const std::string& JsonSink::stamp() {
    const double now = smdhost::sim_clock::now();
    if (!stamp_made_ || now != stamp_at_) {
        stamp_ = smdobserver::iso_time(now);
        stamp_at_ = now;
        stamp_made_ = true;
    }
    return stamp_;
}

void JsonSink::emit(std::string open) {
    open += adr_member_;
    open += ",\"t\":\"";
    open += stamp();
    open += "\"}";
    out_.line(open);
}

}  // namespace smdevents
