// The signal catalogue against the running device: over full-capacity,
// over-full and partly filled records, in every threshold mode and every
// combination of the settings that change what the rules send, the calls
// the device makes (CheckThreshold, CheckThresholdBool, CheckAOReport,
// Reset's communication alarm) are exactly the catalogue entries whose
// conditions hold, and every catalogue entry is sent by some run.
//
// The level map and the change-of-value settings that make the mode-2
// alarms and the reports appear are learnt from the device itself (a first
// pass records every id it looks up or checks), never from the catalogue,
// so an id that a rule sends without a catalogue entry shows here.
#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_device.hpp"
#include "tools/smdhost/catalogue/catalogue.hpp"

namespace {

using smdcatalogue::AlarmEntry;
using smdcatalogue::Catalogue;
using smdcatalogue::SignalKind;
using smdcatalogue::Situation;
using smdhost::HostEvent;
using testing_support::CoutCapture;
using testing_support::RecordedDevice;

constexpr int kLevel = 3;  // the level every looked-up id gets in the second pass

enum class Fill { full, overfull, partial };

// Every float of the record holds its own offset, so a checked or reported
// value names the field it came from.
void fill_record(pxr52_419_Data_t& d, Fill fill) {
    std::memset(d.bytes(), 0, sizeof d);
    for (const auto& v : Catalogue::get().values())
        if (v.type == smdcatalogue::ValueType::f32)
            pxr52::store_f32(d.bytes() + v.offset, static_cast<float>(v.offset));
    const bool over = fill == Fill::overfull;
    const bool part = fill == Fill::partial;
    d.channel_count = over ? 255 : part ? 1 : CHANNEL_MAX;
    d.rc_count = over ? 255 : part ? 3 : RC_MAX;
    for (int j = 0; j < RC_MAX; ++j)
        d.rcChannel[j].p41_44_count = over ? 255 : part && j == 1 ? P41_44_SIZE - 1 : P41_44_SIZE;
    for (auto& ch : d.acChannel) ch.p40_44_count = over ? 255 : p40_44_SIZE;
    d.dc0.alert_m_count = over ? 255 : part ? 5 : ALERT_M_SIZE;
    d.dc1.alert_m_count = over ? 255 : part ? 7 : ALERT_M_SIZE;
}

struct RoundSetup {
    Situation s;
    Fill fill = Fill::full;
};

std::vector<RoundSetup> all_runs() {
    std::vector<RoundSetup> runs;
    for (Fill fill : {Fill::full, Fill::overfull, Fill::partial})
        for (int mode : {0, 1, 2, 3, 5, 7})
            for (int flags = 0; flags < 4; ++flags)
                for (int phases : {7, 0, 1, 2, 4})
                    for (int ac_type : {0, 1})
                        for (int ac_line : {1, 2, 0})
                            for (int dc_number : {1, 2}) {
                                RoundSetup r;
                                r.fill = fill;
                                r.s.b_mode = mode;
                                r.s.has_ac = (flags & 1) != 0;
                                r.s.has_dc = (flags & 2) != 0;
                                r.s.has_a = (phases & 1) != 0;
                                r.s.has_b = (phases & 2) != 0;
                                r.s.has_c = (phases & 4) != 0;
                                r.s.ac_type = ac_type;
                                r.s.ac_line = ac_line;
                                r.s.dc_number = dc_number;
                                runs.push_back(r);
                            }
    return runs;
}

// What the first pass learnt from the device.
struct Learnt {
    std::set<std::string> looked_up;      // ids read from the level map
    std::set<std::string> threshold_ids;  // ids of CheckThreshold calls
};

// One round of a device set up as `run` says; its host calls.
std::vector<HostEvent> play(const RoundSetup& run, const Learnt* learnt, Learnt* learn) {
    RecordedDevice r;
    Tarnel_BRELM_PXR52_419& dev = r.dev;
    dev.b_mode = run.s.b_mode;
    dev.has_ac = run.s.has_ac;
    dev.has_dc = run.s.has_dc;
    dev.has_a = run.s.has_a;
    dev.has_b = run.s.has_b;
    dev.has_c = run.s.has_c;
    dev.ac_type = run.s.ac_type;
    dev.ac_line = run.s.ac_line;
    dev.dc_number = run.s.dc_number;
    fill_record(dev.data, run.fill);
    if (learnt != nullptr) {
        for (const std::string& id : learnt->looked_up) dev.level_map[id] = kLevel;
        SMDVDevice::BAOSetting due;
        due.period_enable = true;
        due.period_min = 0.0f;
        due.last_time = 0;
        due.last_value = 0.0f;
        for (const std::string& id : learnt->threshold_ids) dev.bao_map[id] = due;
    }
    dev.RoundDone();
    if (learn != nullptr) {
        for (const auto& entry : dev.level_map) learn->looked_up.insert(entry.first);
        for (const auto& e : r.log.events)
            if (e.kind == HostEvent::Kind::threshold) learn->threshold_ids.insert(e.id);
    }
    std::vector<HostEvent> calls;
    for (const auto& e : r.log.events)
        if (e.kind == HostEvent::Kind::alarm || e.kind == HostEvent::Kind::threshold ||
            e.kind == HostEvent::Kind::report)
            calls.push_back(e);
    return calls;
}

// A text with {name} readings as a regular expression: literal parts as
// they are, each reading as any text without blanks.
std::regex template_regex(const std::string& t) {
    std::string re;
    for (std::size_t k = 0; k < t.size(); ++k) {
        if (t[k] == '{') {
            k = t.find('}', k);
            re += "[^ ]+";
            continue;
        }
        if (std::strchr("\\^$.|?*+()[]{}", t[k]) != nullptr) re += '\\';
        re += t[k];
    }
    return std::regex(re);
}

std::string entry_key(const AlarmEntry& e, bool learnt) {
    switch (e.kind) {
        case SignalKind::alarm:
            return "alarm " + e.id + " key=" + e.key + " text1=" + e.text1 + " text2=" + e.text2 +
                   " level=" + std::to_string(e.level != 0 ? e.level : learnt ? kLevel : 0);
        case SignalKind::threshold:
            return "threshold " + e.id + " value=" + e.value + " name=" + e.text1;
        case SignalKind::report:
            return "report " + e.id + " value=" + e.value;
    }
    return std::string();
}

class CallNamer {
public:
    CallNamer() {
        const Catalogue& c = Catalogue::get();
        for (const auto& v : c.values())
            if (v.type == smdcatalogue::ValueType::f32) by_value_[static_cast<float>(v.offset)] = v.name;
        for (const AlarmEntry& e : c.alarms())
            if (e.text1_varies) varying_.push_back({&e, template_regex(e.text1)});
    }

    // The call as entry_key() writes the entry it should match.
    std::string key(const HostEvent& e) const {
        switch (e.kind) {
            case HostEvent::Kind::alarm: {
                std::string text1 = e.text1;
                for (const auto& v : varying_)
                    if (v.entry->id == e.id && v.entry->key == e.key && v.entry->text2 == e.text2 &&
                        std::regex_match(e.text1, v.re))
                        text1 = v.entry->text1;
                return "alarm " + e.id + " key=" + e.key + " text1=" + text1 + " text2=" + e.text2 +
                       " level=" + std::to_string(e.level);
            }
            case HostEvent::Kind::threshold:
                return "threshold " + e.id + " value=" + value_name(e.value) + " name=" + e.name;
            case HostEvent::Kind::report:
                return "report " + e.id + " value=" + value_name(e.value);
            default:
                return std::string();
        }
    }

private:
    std::string value_name(float v) const {
        const auto it = by_value_.find(v);
        return it == by_value_.end() ? "?" + std::to_string(v) : it->second;
    }

    struct Varying {
        const AlarmEntry* entry;
        std::regex re;
    };
    std::map<float, std::string> by_value_;
    std::vector<Varying> varying_;
};

std::string describe(const RoundSetup& run) {
    const Situation& s = run.s;
    return "b_mode " + std::to_string(s.b_mode) + " has_ac " + std::to_string(s.has_ac) +
           " has_dc " + std::to_string(s.has_dc) + " phases " + std::to_string(s.has_a) +
           std::to_string(s.has_b) + std::to_string(s.has_c) + " ac_type " +
           std::to_string(s.ac_type) + " ac_line " + std::to_string(s.ac_line) + " dc_number " +
           std::to_string(s.dc_number) + " fill " + std::to_string(static_cast<int>(run.fill));
}

TEST(CatalogueAgainstDevice, EveryCallIsAnEntryAndEveryEntryIsCalled) {
    testing_support::SimClock clock;
    CoutCapture quiet;
    const Catalogue& c = Catalogue::get();
    const std::vector<RoundSetup> runs = all_runs();
    const CallNamer namer;

    Learnt learnt;
    for (const RoundSetup& run : runs) play(run, nullptr, &learnt);
    ASSERT_FALSE(learnt.looked_up.empty());
    ASSERT_FALSE(learnt.threshold_ids.empty());

    std::vector<bool> sent(c.alarms().size(), false);
    int failures = 0;
    for (const bool second : {false, true}) {
        for (const RoundSetup& run : runs) {
            RoundSetup expected_run = run;
            pxr52_419_Data_t record;
            fill_record(record, run.fill);
            expected_run.s.record = record.bytes();
            expected_run.s.levels = second;
            expected_run.s.due = second;
            std::multiset<std::string> expected;
            std::vector<std::size_t> expected_entries;
            for (std::size_t k = 0; k < c.alarms().size(); ++k) {
                if (!smdcatalogue::applies(c.alarms()[k].when, expected_run.s)) continue;
                expected.insert(entry_key(c.alarms()[k], second));
                expected_entries.push_back(k);
            }
            std::multiset<std::string> got;
            for (const HostEvent& e : play(run, second ? &learnt : nullptr, nullptr))
                got.insert(namer.key(e));
            if (got == expected) {
                for (std::size_t k : expected_entries) sent[k] = true;
                continue;
            }
            if (++failures > 3) continue;  // the first few runs tell enough
            std::vector<std::string> missing, extra;
            for (const auto& k : expected)
                if (got.count(k) < expected.count(k)) missing.push_back(k);
            for (const auto& k : got)
                if (expected.count(k) < got.count(k)) extra.push_back(k);
            std::string msg = describe(run) + (second ? " (levels and reports set)" : "") + "\n";
            for (std::size_t k = 0; k < extra.size() && k < 8; ++k)
                msg += "  sent, not in the catalogue: " + extra[k] + "\n";
            for (std::size_t k = 0; k < missing.size() && k < 8; ++k)
                msg += "  in the catalogue, not sent: " + missing[k] + "\n";
            ADD_FAILURE() << msg;
        }
    }
    EXPECT_EQ(failures, 0);
    for (std::size_t k = 0; k < sent.size(); ++k)
        EXPECT_TRUE(sent[k]) << "never sent in any run: " << entry_key(c.alarms()[k], true);
}

}  // namespace
