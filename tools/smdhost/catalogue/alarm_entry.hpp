// One alarm, threshold check or report that the plug-in can send the host,
// as the signal catalogue lists it, with the threshold modes and settings
// under which it is sent.
//
// An entry is one distinct call the plug-in makes: ids made per AC input,
// rectifier module or fuse have one entry per instance up to the record's
// capacity, and an id that several rules share ("06029", "419415001") or
// that one rule fills from different values under different settings
// ("419610401001" from AC input 1, or from input 2 with ac_line 2) has one
// entry per rule and source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/smdhost/catalogue/value_entry.hpp"

namespace smdcatalogue {

enum class SignalKind : std::uint8_t {
    alarm,      // CheckThresholdBool: a two-state alarm whose state the plug-in decided
    threshold,  // CheckThreshold: an analog value the host compares with its limits for the id
    report,     // CheckAOReport: an analog value reported on change or period
};

const char* kind_name(SignalKind kind);  // "alarm", "threshold", "report"

// Threshold modes ("appSetting"."b_mode") as a set of bits.
enum ModeBits : std::uint8_t {
    kMode1 = 1,
    kMode2 = 2,
    kMode3 = 4,
    kMode5 = 8,
    kModeOther = 16,  // every value but 1, 2, 3 and 5
    kAllModes = 31,
};

std::uint8_t mode_bit(int b_mode);
// "1", "2", "3", "5" and "other" for the bits set, in that order.
std::vector<std::string> mode_names(std::uint8_t modes);

// A requirement on a flag setting.
enum class Need : std::uint8_t { any, set, clear };

// ac_line values as bits: 1, 2, and every other value.
enum AcLineBits : std::uint8_t { kLine1 = 1, kLine2 = 2, kLineOther = 4, kAnyLine = 7 };

// When the plug-in makes the call. Every condition must hold.
struct When {
    std::uint8_t modes = 0;
    Need has_ac = Need::any;
    Need has_dc = Need::any;
    Need has_a = Need::any;
    Need has_b = Need::any;
    Need has_c = Need::any;
    Need ac_type_zero = Need::any;  // set: ac_type 0; clear: any other ac_type
    std::uint8_t ac_lines = kAnyLine;
    bool two_screens = false;  // the DC reply reported more than one screen (dc_number > 1)
    bool level = false;        // the host's level map ("host"."levels") holds a non-zero level for the id
    bool due = false;          // the change-of-value settings ("host"."reports") make the report due
    CountTest counts[2];       // count bytes of the record covering the instance
};

// What the conditions are tested against.
struct Situation {
    int b_mode = 1;
    bool has_ac = true;
    bool has_dc = true;
    bool has_a = true;
    bool has_b = true;
    bool has_c = true;
    int ac_type = 0;
    int ac_line = 1;
    int dc_number = 2;
    // kRecordSize bytes whose count bytes are tested; null: every count test holds.
    const unsigned char* record = nullptr;
    bool levels = true;  // every id graded by the level map has a non-zero level
    bool due = true;     // every report is due
};

bool applies(const When& when, const Situation& situation);

struct AlarmEntry {
    SignalKind kind = SignalKind::alarm;
    std::string id;
    std::string key;    // alarms: the key passed with the id; "" otherwise
    // Alarms: text1 and text2 as passed. Threshold checks: text1 is the name
    // passed (empty in the power-system rules). A reading the plug-in puts
    // into a text is written {name} with the value's catalogue name:
    // "ua1:{ac.1.a} ub1:{ac.1.b} ...".
    std::string text1;
    std::string text2;
    bool text1_varies = false;  // text1 holds a {name} reading
    // Alarms: > 0 the level passed; 0 the host's level map decides (an id
    // without a non-zero level is not sent).
    int level = 0;
    // Reports: the id whose change-of-value settings are copied when the
    // report id has none of its own.
    std::string template_id;
    // Thresholds and reports: the value checked or reported.
    std::string value;
    // The catalogue name of what the entry is about ("rect.12", "ac.1",
    // "dc.2.fuse.3", "ac", "dc.1"; "" for the device as a whole).
    std::string subject;
    bool reads_threshold = false;  // compares with the host's threshold map ("host"."thresholds")
    When when;
    std::string when_text;    // English form of `when`
    std::string rule_set;     // "power rules, mode 1", "model rules, mode 2", ...
    std::string description;  // English: what it means and when it is active
    std::size_t family = 0;   // index into Catalogue::alarm_families()
};

// Entries made by one rule: one per instance, or a single entry.
struct AlarmFamily {
    std::string description;  // English, without instance numbers
    std::string instances;    // "one per rectifier module, 1 to 40"; "" for a single entry
    std::vector<std::size_t> members;  // indices into Catalogue::alarms(), in call order
};

}  // namespace smdcatalogue
