#include "tools/smdhost/observer/report_json.hpp"

#include <cmath>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

#include <json/writer.h>

#include "tools/smdhost/observer/event_time.hpp"

namespace smdobserver {

namespace {

// Seconds to the millisecond: durations are never finer than the clock
// the events carry.
double seconds_ms(double s) { return std::round(s * 1000.0) / 1000.0; }

Json::Value fault_counts(const FaultCounts& c, bool all) {
    Json::Value v(Json::objectValue);
    for (int k = 0; k < kFaultKinds; ++k) {
        const auto n = c.n[static_cast<std::size_t>(k)];
        if (all || n != 0)
            v[smdhost::frame_fault_name(static_cast<smdhost::FrameFault>(k))] =
                static_cast<Json::UInt64>(n);
    }
    return v;
}

std::string pair_key(std::uint16_t key) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X/%02X", key >> 8, key & 0xFF);
    return buf;
}

// Per second over `seconds`, 0 for an empty capture.
double rate(unsigned long long n, double seconds) {
    return seconds > 0 ? static_cast<double>(n) / seconds : 0.0;
}

}  // namespace

Json::Value cycle_event(const CycleReport& r) {
    Json::Value v(Json::objectValue);
    v["ev"] = "cycle";
    v["n"] = static_cast<Json::UInt64>(r.n);
    v["published"] = r.published;
    Json::Value pairs(Json::objectValue);
    for (int k = 0; k < kPairCount; ++k)
        pairs[pair_name(k)] = pair_status_name(r.pairs[static_cast<std::size_t>(k)]);
    v["pairs"] = pairs;
    if (!r.published) v["reason"] = r.reason;
    if (!r.note.empty()) v["note"] = r.note;
    v["start"] = iso_time(r.start);
    v["at"] = r.start_at.text();
    v["duration"] = seconds_ms(r.duration);
    v["ended"] = cycle_end_name(r.ended);
    if (r.bad_frames.any()) v["bad_frames"] = fault_counts(r.bad_frames, false);
    return v;
}

Json::Value line_event(const LineTotals& t) {
    Json::Value v(Json::objectValue);
    v["ev"] = "line";
    v["bytes"] = static_cast<Json::UInt64>(t.bytes);
    v["frames"] = static_cast<Json::UInt64>(t.frames);
    v["bad_frames"] = fault_counts(t.bad_frames, true);
    v["cycles"] = static_cast<Json::UInt64>(t.cycles);
    v["published"] = static_cast<Json::UInt64>(t.published);
    v["dropped"] = static_cast<Json::UInt64>(t.dropped);
    v["complete"] = static_cast<Json::UInt64>(t.complete);
    v["longest_silence"] = seconds_ms(t.longest_silence);
    v["outside_cycles"] = static_cast<Json::UInt64>(t.outside_cycles);
    v["duplicates"] = static_cast<Json::UInt64>(t.duplicates);
    v["other_address"] = static_cast<Json::UInt64>(t.other_address);
    if (t.alarms_active >= 0) v["alarms_active"] = t.alarms_active;
    if (!t.no_device.empty()) {
        Json::Value by(Json::objectValue);  // key: the address in decimal
        for (const auto& n : t.no_device) by[std::to_string(n.first)] = static_cast<Json::UInt64>(n.second);
        v["no_device"] = by;
    }
    return v;
}

Json::Value stats_event(const LineStats& s) {
    Json::Value v(Json::objectValue);
    v["ev"] = "stats";
    Json::Value line = line_event(s.totals);
    line.removeMember("ev");
    // No plug-in runs: whether a cycle's capture round completed, followed
    // from the line, is all there is to say about publication.
    line.removeMember("published");
    line.removeMember("dropped");
    line["incomplete"] = static_cast<Json::UInt64>(s.totals.cycles - s.totals.complete);
    v["line"] = line;
    const double seconds = s.last > s.first ? s.last - s.first : 0.0;
    v["seconds"] = seconds_ms(seconds);

    Json::Value rates(Json::objectValue);  // frames per minute
    Json::Value commands(Json::objectValue);
    for (const auto& c : s.commands)
        commands[pair_key(c.first)] = rate(c.second, seconds) * 60.0;
    Json::Value responses(Json::objectValue);
    for (const auto& c : s.responses)
        responses[pair_key(c.first)] = rate(c.second, seconds) * 60.0;
    rates["commands"] = commands;    // key CID1/CID2
    rates["responses"] = responses;  // key CID1/RTN
    v["per_minute"] = rates;

    Json::Value errors(Json::objectValue);  // share of all frames
    for (int k = 0; k < kFaultKinds; ++k)
        errors[smdhost::frame_fault_name(static_cast<smdhost::FrameFault>(k))] =
            s.totals.frames != 0 ? static_cast<double>(s.totals.bad_frames.n[static_cast<std::size_t>(k)]) /
                                       static_cast<double>(s.totals.frames)
                                 : 0.0;
    v["error_rates"] = errors;

    Json::Value period(Json::objectValue);
    if (s.periods != 0) {
        period["mean"] = seconds_ms(s.period_sum / static_cast<double>(s.periods));
        period["min"] = seconds_ms(s.period_min);
        period["max"] = seconds_ms(s.period_max);
    }
    v["cycle_period"] = period;

    Json::Value complete(Json::objectValue);  // share of cycles with the pair "ok"
    for (int k = 0; k < kPairCount; ++k)
        complete[pair_name(k)] =
            s.totals.cycles != 0 ? static_cast<double>(s.pair_ok[static_cast<std::size_t>(k)]) /
                                       static_cast<double>(s.totals.cycles)
                                 : 0.0;
    v["completeness"] = complete;
    return v;
}

std::string event_line(const Json::Value& event) {
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    b["precision"] = 9;
    b["emitUTF8"] = true;
    const std::unique_ptr<Json::StreamWriter> w(b.newStreamWriter());
    const auto write = [&](const Json::Value& value) {
        std::ostringstream out;
        w->write(value, &out);
        return out.str();
    };
    if (!event.isObject()) return write(event);
    // The members in the order the event's description gives them (the
    // one order every consumer that reads lines by eye or by prefix
    // sees), then any others by name, "t" last as on every event.
    static const std::vector<std::string> kCycle = {"n",        "published", "pairs",
                                                    "reason",   "note",      "start",
                                                    "at",       "duration",  "ended",
                                                    "bad_frames"};
    static const std::vector<std::string> kLine = {
        "bytes",    "frames",         "bad_frames",     "cycles",     "published",
        "dropped",  "complete",       "longest_silence", "outside_cycles", "duplicates",
        "other_address", "alarms_active", "no_device"};
    static const std::vector<std::string> kStats = {"line", "seconds", "per_minute", "error_rates",
                                                    "cycle_period", "completeness"};
    static const std::vector<std::string> kNone;
    const std::string ev = event.isMember("ev") && event["ev"].isString() ? event["ev"].asString()
                                                                          : std::string();
    const std::vector<std::string>& order =
        ev == "cycle" ? kCycle : ev == "line" ? kLine : ev == "stats" ? kStats : kNone;

    std::string s = "{";
    std::set<std::string> done;
    const auto member = [&](const std::string& name) {
        if (!event.isMember(name) || !done.insert(name).second) return;
        if (s.size() > 1) s += ',';
        s += write(Json::Value(name)) + ":" + write(event[name]);
    };
    member("ev");
    done.insert("t");
    for (const auto& name : order) member(name);
    for (const auto& name : event.getMemberNames()) member(name);
    done.erase("t");
    member("t");
    s += '}';
    return s;
}

}  // namespace smdobserver
