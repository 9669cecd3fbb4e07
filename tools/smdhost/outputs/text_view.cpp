#include "tools/smdhost/outputs/text_view.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "device/record.hpp"
#include "host/sim_clock.hpp"
#include "host/smd_vdevice.hpp"
#include "tools/smdhost/outputs/json_events.hpp"

namespace smdevents {

namespace {

using smdhost::HostEvent;

// The marker stored for a reading the plant reported invalid.
bool is_absent_marker(float v) { return v == -0.1f; }

// A value right-aligned in `width` characters with `prec` decimals; "--" for
// the absent marker.
std::string num(float v, int width, int prec) {
    char buf[48];
    if (is_absent_marker(v))
        std::snprintf(buf, sizeof buf, "%*s", width, "--");
    else
        std::snprintf(buf, sizeof buf, "%*.*f", width, prec, static_cast<double>(v));
    return buf;
}

std::string clock_text() {
    const double now = smdhost::sim_clock::now();
    const std::time_t t = static_cast<std::time_t>(std::floor(now));
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
    return buf;
}

std::string stamp_text(const unsigned char* t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", (t[0] << 8) | t[1], t[2], t[3],
                  t[4], t[5], t[6]);
    return buf;
}

std::string cid_pair(unsigned char cid1, unsigned char cid2) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X/%02X", cid1, cid2);
    return buf;
}

bool is_ascii(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

bool screen_reported(const dcScreen_t& s) {
    return s.dc_v.get() != 0.0f || s.dc_i.get() != 0.0f || s.m_count != 0 || s.n_count != 0 ||
           s.p_count != 0 || s.alert_m_count != 0 || s.alert_p_count != 0 || s.dc_v_alarm != 0;
}

}  // namespace

std::string format_round(const std::string& header, const unsigned char* bytes, std::size_t len) {
    if (bytes == nullptr || len != sizeof(pxr52_419_Data_t))
        return header + "  (record of " + std::to_string(len) + " bytes, not a " +
               std::to_string(sizeof(pxr52_419_Data_t)) + "-byte record)\n";
    pxr52_419_Data_t r;
    std::memcpy(&r, bytes, sizeof r);
    std::string s = header + "  " + stamp_text(r.time) + "  data id " +
                    std::to_string(r.data_id.get()) + "\n";

    const int channels = r.channel_count < CHANNEL_MAX ? r.channel_count : CHANNEL_MAX;
    for (int i = 0; i < channels; ++i) {
        const acChannel_t& c = r.acChannel[i];
        s += "  AC " + std::to_string(i + 1) + "     A" + num(c.a.get(), 7, 1) + " V  B" +
             num(c.b.get(), 7, 1) + " V  C" + num(c.c.get(), 7, 1) + " V  " +
             num(c.f.get(), 6, 2) + " Hz\n";
    }
    if (channels == 0) s += "  AC       no input reported\n";
    s += "  AC load  A" + num(r.ia.get(), 7, 1) + " A  B" + num(r.ib.get(), 7, 1) + " A  C" +
         num(r.ic.get(), 7, 1) + " A\n";

    const int rects = r.rc_count < RC_MAX ? r.rc_count : RC_MAX;
    float total = 0.0f;
    std::string faulty;
    int faults = 0;
    for (int i = 0; i < rects; ++i) {
        const float current = r.rcChannel[i].i.get();
        if (std::isfinite(current)) total += current;
        if (r.rcChannel[i].fault != 0) {
            ++faults;
            if (faulty.size() < 60) faulty += (faulty.empty() ? "#" : " #") + std::to_string(i + 1);
        }
    }
    char buf[160];
    std::snprintf(buf, sizeof buf, "  rect  %3d units %s V  total%s A  ", rects,
                  num(r.rc_v.get(), 7, 2).c_str(), num(total, 7, 1).c_str());
    s += buf;
    s += faults == 0 ? std::string("no fault")
                     : std::to_string(faults) + (faults == 1 ? " fault (" : " faults (") +
                           faulty + ")";
    s += "\n";

    for (int k = 0; k < 2; ++k) {
        const dcScreen_t& d = r.dc(k);
        if (k == 1 && !screen_reported(d)) break;
        s += "  DC " + std::to_string(k + 1) + "   " + num(d.dc_v.get(), 7, 2) + " V  load" +
             num(d.dc_i.get(), 7, 1) + " A  battery";
        const int groups = d.m_count < M_SIZE ? d.m_count : M_SIZE;
        if (groups == 0) s += " none";
        for (int m = 0; m < groups; ++m) s += num(d.m[m].get(), 7, 1) + " A";
        s += "\n";
    }
    return s;
}

void TextSink::line(const std::string& text) { out_.line(text); }

std::vector<std::string> TextSink::alarm_changes() {
    std::vector<std::string> lines;
    if (device_ == nullptr) return lines;
    const auto& now = device_->active_alarms;
    auto describe = [&](const std::string& key, int level, char sign) {
        const auto split = key.find('\x1f');
        const std::string id = split == std::string::npos ? key : key.substr(split + 1);
        std::string text;
        const auto t = texts_.find(key);
        if (t != texts_.end()) {
            // Rule sets fill the two texts differently: name and state, or
            // the reading (or the signal id) and then the name. A plain-ASCII
            // first text is a reading or an id: the name leads, the reading
            // follows in brackets.
            const AlarmText& a = t->second;
            if (a.text1 == id || a.text1.empty()) {
                text = a.text2;
            } else if (is_ascii(a.text1) && !is_ascii(a.text2)) {
                text = a.text2 + " [" + a.text1 + "]";
            } else {
                text = a.text1;
                if (!a.text2.empty() && a.text2 != a.text1) text += " (" + a.text2 + ")";
            }
        }
        std::string l = std::string("  alarm ") + sign + " " + text;
        if (!text.empty()) l += "  ";
        l += "id " + id;
        if (sign == '+') l += "  level " + std::to_string(level);
        return l;
    };
    for (const auto& a : now) {
        const auto old = shown_.find(a.first);
        if (old == shown_.end() || old->second != a.second)
            lines.push_back(describe(a.first, a.second, '+'));
    }
    for (const auto& a : shown_)
        if (now.find(a.first) == now.end()) lines.push_back(describe(a.first, a.second, '-'));
    shown_ = now;
    return lines;
}

void TextSink::show_round() {
    ++rounds_;
    in_round_ = false;
    std::string block = format_round("round " + std::to_string(rounds_), record_.data(),
                                     record_.size());
    if (bad_frames_ != 0)
        block += "  line   " + std::to_string(bad_frames_) + " bad frame" +
                 (bad_frames_ == 1 ? "" : "s") + " since the last round\n";
    bad_frames_ = 0;
    for (const auto& l : alarm_changes()) block += l + "\n";
    block.pop_back();  // line() adds the last line end
    line(block);
    record_.clear();
}

void TextSink::host_event(const HostEvent& e) {
    const std::string at = clock_text() + "  ";
    switch (e.kind) {
        case HostEvent::Kind::publish:
            in_round_ = true;
            record_ = e.bytes;
            break;
        case HostEvent::Kind::history:
            if (in_round_) show_round();
            break;
        case HostEvent::Kind::alarm: {
            std::string key = e.key;
            key += '\x1f';
            key += e.id;
            texts_[key] = AlarmText{e.text1, e.text2};
            if (verbose_)
                line(at + "check " + e.text1 + " " + (e.flag ? "active" : "clear") + "  id " +
                     e.id + "  level " + std::to_string(e.level));
            break;
        }
        case HostEvent::Kind::batch:
            // Inside a round the changes go with the round's block.
            if (!in_round_)
                for (const auto& l : alarm_changes()) line(at + l.substr(2));
            break;
        case HostEvent::Kind::frame_error:
            ++bad_frames_;
            if (e.text1 == "script")
                line(at + "process_error (scripted)");
            else
                line(at + "bad frame: " + e.text1);
            break;
        case HostEvent::Kind::send:
            line(at + "command sent " + cid_pair(e.cid1, e.cid2) +
                 (e.bytes.empty() ? std::string() : "  info " + hex_upper(e.bytes.data(),
                                                                          e.bytes.size())));
            break;
        case HostEvent::Kind::report:
            line(at + "report " + e.id + " = " + json_float(e.value));
            break;
        case HostEvent::Kind::payload:
            if (verbose_)
                line(at + "frame " + cid_pair(e.cid1, e.cid2) + "  " + std::to_string(e.len) +
                     " info bytes -> " + std::to_string(e.result));
            break;
        case HostEvent::Kind::threshold:
            if (verbose_) line(at + "threshold " + e.id + " " + e.name + " = " + json_float(e.value));
            break;
        case HostEvent::Kind::open_port:
            if (verbose_) line(at + "port opened");
            break;
        case HostEvent::Kind::host_ioctl:
            if (verbose_) line(at + "host DeviceIoControl " + std::to_string(e.code));
            break;
        case HostEvent::Kind::host_init:
            if (verbose_) line(at + "host settings read");
            break;
    }
}

void TextSink::call(const std::string& op, int result, const std::string& error) {
    const std::string at = clock_text() + "  ";
    if (!error.empty()) {
        line(at + op + " failed: " + error);
        return;
    }
    if (op == "init") {
        std::string l = at + "configured (InitSetting -> " + std::to_string(result) + ")";
        if (device_ != nullptr) l += "  data id " + std::to_string(device_->data_id);
        line(l);
    } else if ((op != "refresh" && op != "reset") || verbose_) {
        // The host's periodic calls are shown only on request; what they
        // change (alarms) is shown anyway.
        line(at + op + " -> " + std::to_string(result));
    }
}

void TextSink::value(const std::string& name, bool ok, float value, const std::string& error) {
    line(clock_text() + "  " + name + (ok ? " = " + json_float(value) : ": " + error));
}

void TextSink::ioctl(int code, int result, std::int32_t out, int out_len) {
    std::string l = clock_text() + "  control " + std::to_string(code) + " -> " +
                    std::to_string(result);
    if (out_len != 0) l += "  out " + std::to_string(out);
    line(l);
}

void TextSink::log(const std::string& text) {
    if (verbose_) line(clock_text() + "  | " + text);
}

void TextSink::notice(const std::string& text) { line(clock_text() + "  " + text); }

void TextSink::flush() { out_.flush(); }

}  // namespace smdevents
