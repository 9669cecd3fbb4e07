#include "tools/smdhost/outputs/text_view.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "device/dimensions.hpp"
#include "host/sim_clock.hpp"
#include "host/smd_vdevice.hpp"
#include "tools/smdhost/catalogue/catalogue.hpp"
#include "tools/smdhost/catalogue/value_reading.hpp"
#include "tools/smdhost/observer/report_text.hpp"
#include "tools/smdhost/outputs/alarm_text.hpp"
#include "tools/smdhost/outputs/json_events.hpp"

namespace smdevents {

namespace {

using smdhost::HostEvent;
namespace cat = smdcatalogue;

std::string clock_of(double epoch) {
    const std::time_t t = static_cast<std::time_t>(std::floor(epoch));
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
    return buf;
}

std::string clock_text() { return clock_of(smdhost::sim_clock::now()); }

std::string cid_pair(unsigned char cid1, unsigned char cid2) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X/%02X", cid1, cid2);
    return buf;
}

// A label padded to the block's first column.
std::string label(const std::string& text) {
    std::string s = "  " + text;
    s.resize(std::max<std::size_t>(s.size() + 2, 16), ' ');
    return s;
}

// One record's values by catalogue name.
class RecordValues {
public:
    RecordValues(const unsigned char* record, std::size_t len) : record_(record), len_(len) {}

    cat::Reading read(const std::string& name) const {
        const cat::ValueEntry* e = entry(name);
        return e != nullptr ? cat::read_value(*e, record_, len_) : cat::Reading{};
    }
    int count(const std::string& name) const {
        const cat::Reading r = read(name);
        return r.valid ? static_cast<int>(r.number) : 0;
    }
    double number(const std::string& name) const {
        const cat::Reading r = read(name);
        return r.valid ? r.number : 0.0;
    }
    // "voltage  53.50 V": the last part of the name, the value in `width`
    // characters with `prec` decimals ("invalid" for a reading the plant
    // reported invalid), and its unit.
    std::string item(const std::string& prefix, const std::string& leaf, int width,
                     int prec) const {
        const std::string name = prefix + "." + leaf;
        const cat::ValueEntry* e = entry(name);
        const cat::Reading r = e != nullptr ? cat::read_value(*e, record_, len_) : cat::Reading{};
        char buf[64];
        if (r.valid)
            std::snprintf(buf, sizeof buf, "%*.*f", width, prec, r.number);
        else
            std::snprintf(buf, sizeof buf, "%*s", width, "invalid");
        std::string s = leaf + " " + buf;
        if (e != nullptr && !e->unit.empty()) s += " " + e->unit;
        return s;
    }

private:
    static const cat::ValueEntry* entry(const std::string& name) {
        return cat::Catalogue::get().find_value(name);
    }
    const unsigned char* record_;
    std::size_t len_;
};

// A DC screen with anything in it (the second one is often absent).
bool screen_reported(const RecordValues& v, const std::string& dc) {
    for (const char* leaf : {"voltage", "current"})
        if (v.number(dc + "." + leaf) != 0.0) return true;
    for (const char* leaf : {"battery.count", "branch.count", "user_value.count", "fuse.count",
                             "user_alarm.count", "alarm.voltage"})
        if (v.count(dc + "." + leaf) != 0) return true;
    return false;
}

// Names of a list, the first few of them: "rect.1, rect.3".
std::string some(const std::vector<std::string>& names) {
    constexpr std::size_t kShown = 6;
    std::string s;
    for (std::size_t k = 0; k < names.size() && k < kShown; ++k) s += (k == 0 ? "" : ", ") + names[k];
    if (names.size() > kShown) s += ", ... (" + std::to_string(names.size()) + ")";
    return s;
}

}  // namespace

std::string format_round(const std::string& header, const unsigned char* bytes, std::size_t len) {
    if (bytes == nullptr || len != cat::kRecordSize)
        return header + "  (record of " + std::to_string(len) + " bytes, not a " +
               std::to_string(cat::kRecordSize) + "-byte record)\n";
    const RecordValues v(bytes, len);
    const cat::Reading stamp = v.read("record.time");
    std::string when = stamp.text.empty() ? std::string("no time stamp") : stamp.text;
    if (stamp.valid && when.size() > 10 && when[10] == 'T') when[10] = ' ';
    std::string s = header + "  " + when + "  data id " + v.read("record.data_id").text + "\n";

    const int inputs = std::min(v.count("ac.count"), CHANNEL_MAX);
    for (int i = 1; i <= inputs; ++i) {
        const std::string ac = "ac." + std::to_string(i);
        s += label(ac) + v.item(ac, "a", 6, 1) + "  " + v.item(ac, "b", 6, 1) + "  " +
             v.item(ac, "c", 6, 1) + "  " + v.item(ac, "frequency", 6, 2) + "\n";
    }
    if (inputs == 0) s += label("ac") + "no input reported (ac.count 0)\n";
    s += label("ac.current") + v.item("ac.current", "a", 6, 1) + "  " +
         v.item("ac.current", "b", 6, 1) + "  " + v.item("ac.current", "c", 6, 1) + "\n";

    const int modules = std::min(v.count("rect.count"), RC_MAX);
    double total = 0.0;
    std::vector<std::string> faulty, invalid;
    for (int m = 1; m <= modules; ++m) {
        const std::string rect = "rect." + std::to_string(m);
        const cat::Reading current = v.read(rect + ".current");
        if (current.valid)
            total += current.number;
        else
            invalid.push_back(rect + ".current");
        if (v.count(rect + ".fault") != 0) faulty.push_back(rect);
    }
    char sum[32];
    std::snprintf(sum, sizeof sum, "%6.1f", total);
    s += label("rect") + "count " + std::to_string(modules) + "  " +
         v.item("rect", "voltage", 6, 2) + "  current sum " + sum + " A  " +
         (faulty.empty() ? std::string("no fault")
                         : std::string(faulty.size() == 1 ? "fault: " : "faults: ") + some(faulty)) +
         "\n";
    if (!invalid.empty()) s += label("") + "invalid: " + some(invalid) + "\n";

    for (int k = 1; k <= 2; ++k) {
        const std::string dc = "dc." + std::to_string(k);
        if (k == 2 && !screen_reported(v, dc)) break;
        s += label(dc) + v.item(dc, "voltage", 6, 2) + "  " + v.item(dc, "current", 6, 1);
        const int groups = std::min(v.count(dc + ".battery.count"), M_SIZE);
        if (groups == 0) s += "  battery.count 0";
        s += "\n";
        if (groups == 0) continue;
        const std::string battery = dc + ".battery";
        s += label(battery);
        for (int b = 1; b <= groups; ++b)
            s += (b == 1 ? "" : "  ") + v.item(battery, std::to_string(b) + ".current", 6, 1);
        s += "\n";
    }
    return s;
}

void TextSink::line(const std::string& text) {
    if (prefix_.empty()) {
        out_.line(text);
        return;
    }
    // A block of lines: each one names the device.
    std::string s = prefix_;
    for (char c : text) {
        s += c;
        if (c == '\n') s += prefix_;
    }
    out_.line(s);
}

std::vector<std::string> TextSink::alarm_changes() {
    std::vector<std::string> lines;
    if (device_ == nullptr) return lines;
    const auto& now = device_->active_alarms;
    auto describe = [&](const std::string& key, int level, char sign) {
        const auto split = key.find('\x1f');
        const std::string id = split == std::string::npos ? key : key.substr(split + 1);
        std::string text;
        const auto t = texts_.find(key);
        if (t != texts_.end()) text = alarm_text(id, t->second.text1, t->second.text2);
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
    in_round_ = false;
    std::string block =
        format_round(label_ ? label_() : std::string("record"), record_.data(), record_.size());
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
            // Bad frames of the line are told by the cycle they spoiled and
            // the line-health line (and with -v, dissected one by one).
            if (e.text1 == "script") line(at + "process_error (scripted)");
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
            // -v shows the frame dissected, right after this.
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

void TextSink::cycle(const smdobserver::CycleReport& r) {
    // A published cycle's block was shown as its record came; a dropped
    // one is one line, at the time the cycle began.
    // One line whatever its length: one cycle, one line to find it by.
    const std::string what = smdobserver::cycle_line(r);
    if (!what.empty()) line(clock_of(r.start) + "  " + what);
    const std::string health = smdobserver::health_line(r);
    if (!health.empty()) line("  " + health);
}

void TextSink::line_note(const smdobserver::LineNote& n) {
    line(clock_of(n.t) + "  " + smdobserver::note_line(n));
}

void TextSink::line_summary(const smdobserver::LineTotals& totals) {
    line(smdobserver::summary_block(totals));
}

void TextSink::frame_dissected(const std::string& text) {
    if (verbose_) line(text);
}

void TextSink::flush() { out_.flush(); }

}  // namespace smdevents
