#include "tools/smdhost/observer/report_text.hpp"

#include <algorithm>
#include <cstdio>

#include "tools/smdhost/observer/event_time.hpp"

namespace smdobserver {

namespace {

std::string seconds_text(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f s", s);
    return buf;
}

// "checksum 1, hex 2" (kinds with a count only).
std::string kinds_text(const FaultCounts& c) {
    std::string s;
    for (int k = 0; k < kFaultKinds; ++k) {
        const auto n = c.n[static_cast<std::size_t>(k)];
        if (n == 0) continue;
        if (!s.empty()) s += ", ";
        s += std::string(smdhost::frame_fault_name(static_cast<smdhost::FrameFault>(k))) + " " +
             std::to_string(n);
    }
    return s;
}

std::string plural(unsigned long long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string percent(unsigned long long part, unsigned long long whole) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%5.1f %%",
                  whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole));
    return buf;
}

// "  label           text": labels padded to one column.
std::string row(const std::string& label, const std::string& text) {
    std::string s = "  " + label;
    s.resize(std::max<std::size_t>(s.size() + 1, 18), ' ');
    return s + text;
}

}  // namespace

std::string cycle_header(unsigned long long n) { return "cycle " + std::to_string(n); }

std::string cycle_line(const CycleReport& r) {
    if (!r.published) return cycle_header(r.n) + " dropped: " + r.reason;
    if (!r.note.empty()) return cycle_header(r.n) + ": " + r.note;
    return std::string();
}

std::string health_line(const CycleReport& r) {
    if (!r.bad_frames.any()) return std::string();
    return "line: " + plural(r.bad_frames.total(), "bad frame", "bad frames") +
           " since the last cycle (" + kinds_text(r.bad_frames) + ")";
}

std::string note_line(const LineNote& n) {
    if (n.kind == LineNote::Kind::silent) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.1f s", n.seconds);
        return "line silent since " + clock_ms(n.since) + " (no byte for more than " + buf + ")";
    }
    return "line back after " + seconds_text(n.seconds) + " of silence";
}

std::string summary_block(const LineTotals& t) {
    std::string s = "line summary\n";
    s += row("cycles", std::to_string(t.cycles) + " seen, " + std::to_string(t.published) +
                           " published, " + std::to_string(t.dropped) + " dropped") +
         "\n";
    std::string frames = std::to_string(t.frames) + " (";
    frames += t.bad_frames.any() ? plural(t.bad_frames.total(), "bad", "bad") + ": " +
                                       kinds_text(t.bad_frames)
                                 : std::string("none bad");
    if (t.duplicates != 0) frames += "; " + plural(t.duplicates, "duplicate", "duplicates");
    if (t.outside_cycles != 0) frames += "; " + std::to_string(t.outside_cycles) + " outside a cycle";
    if (t.other_address != 0) frames += "; " + std::to_string(t.other_address) + " for other addresses";
    frames += ")";
    s += row("frames", frames) + "\n";
    s += row("bytes", std::to_string(t.bytes)) + "\n";
    s += row("silence", "longest " + seconds_text(t.longest_silence));
    if (t.alarms_active >= 0)
        s += "\n" + row("alarms", t.alarms_active == 0
                                      ? std::string("none active")
                                      : std::to_string(t.alarms_active) + " still active");
    if (!t.no_device.empty()) {
        std::string by;
        for (const auto& n : t.no_device)
            by += (by.empty() ? "" : ", ") + plural(n.second, "frame", "frames") + " at adr " +
                  std::to_string(n.first);
        s += "\n" + row("no device", by + ", dropped");
    }
    return s;
}

std::string stats_block(const LineStats& st) {
    const LineTotals& t = st.totals;
    const double seconds = st.last > st.first ? st.last - st.first : 0.0;
    // No plug-in runs here: what the capture round makes of each cycle,
    // followed from the line, stands in for publication.
    std::string s = "capture summary\n";
    s += row("cycles", std::to_string(t.cycles) + " seen, " + std::to_string(t.complete) +
                           " complete (all eight replies accepted), " +
                           std::to_string(t.cycles - t.complete) + " incomplete") +
         "\n";
    const std::string summary = summary_block(t);
    // The summary's rows after its cycles row: frames, bytes, silence.
    const std::size_t frames_row = summary.find("\n  frames");
    if (frames_row != std::string::npos) s += summary.substr(frames_row + 1);
    s += "\n" + row("duration", seconds_text(seconds));
    if (st.periods != 0) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "mean %.3f s, min %.3f s, max %.3f s",
                      st.period_sum / static_cast<double>(st.periods), st.period_min, st.period_max);
        s += "\n" + row("period", buf);
    }
    s += "\nframes per minute";
    const auto per_minute = [&](unsigned long long n) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%7.2f",
                      seconds > 0 ? static_cast<double>(n) * 60.0 / seconds : 0.0);
        return std::string(buf);
    };
    for (const auto& c : st.commands) {
        char kind[40];
        std::snprintf(kind, sizeof kind, "%02X/%02X cmd", c.first >> 8, c.first & 0xFF);
        s += "\n" + row(kind, per_minute(c.second) + "  (" + std::to_string(c.second) + ")");
    }
    for (const auto& c : st.responses) {
        char kind[40];
        std::snprintf(kind, sizeof kind, "%02X RTN %02X", c.first >> 8, c.first & 0xFF);
        s += "\n" + row(kind, per_minute(c.second) + "  (" + std::to_string(c.second) + ")");
    }
    s += "\nbad frames, share of all frames";
    for (int k = 0; k < kFaultKinds; ++k)
        s += "\n" + row(smdhost::frame_fault_name(static_cast<smdhost::FrameFault>(k)),
                        percent(t.bad_frames.n[static_cast<std::size_t>(k)], t.frames));
    s += "\npairs ok, share of cycles";
    for (int k = 0; k < kPairCount; ++k)
        s += "\n" + row(pair_name(k), percent(st.pair_ok[static_cast<std::size_t>(k)], t.cycles));
    return s;
}

}  // namespace smdobserver
