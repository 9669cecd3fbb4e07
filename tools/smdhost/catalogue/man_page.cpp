#include "tools/smdhost/catalogue/man_page.hpp"

#include <string>

#include "tools/smdhost/catalogue/catalogue.hpp"
#include "tools/smdhost/catalogue/entry_json.hpp"

namespace smdcatalogue {

namespace {

// Text safe for roff: backslashes doubled as \e, a leading dot or quote
// made harmless, hyphens in names kept as hyphens.
std::string roff(const std::string& text) {
    std::string s;
    for (char c : text) {
        if (c == '\\')
            s += "\\e";
        else if (c == '-')
            s += "\\-";
        else
            s += c;
    }
    if (!s.empty() && (s[0] == '.' || s[0] == '\'')) s.insert(0, "\\&");
    return s;
}

std::string bold(const std::string& text) { return "\\fB" + roff(text) + "\\fR"; }

std::string quoted(const std::string& text) { return "\"" + roff(text) + "\""; }

void intro(const Catalogue& c, std::ostream& out) {
    out << R"(.TH PXR52-SIGNALS 7 "2026" "tarnel-pxr52 0.1.0" "Signal catalogue"
.SH NAME
pxr52-signals \- every value, alarm, threshold check and report of the tarnel_brelm_pxr52_419 plug-in
.SH DESCRIPTION
The plug-in publishes one 1257-byte data record per completed round (data id
5535) and sends the host two-state alarms, analog threshold checks and
change-of-value reports. This page lists all of them; it is generated from the
same tables that
.B smdhost signals
prints and that the plug-in's rules walk, so it matches the installed plug-in.
)";
    out << "It lists " << c.values().size() << " values and " << c.alarms().size()
        << " alarm, threshold and report entries.\n";
    out << R"(.SS Value names
Lower-case segments joined by dots, from the general to the particular: the
section
.RB ( record ", " ac ", " rect ", " dc ", " model ),
the instance number counted from 1 where the section has several (AC input,
rectifier module, DC screen), the quantity, and again an instance number for
arrays inside an instance:
.B ac.1.a
(phase A voltage of AC input 1),
.BR ac.current.a ,
.BR rect.12.current ,
.BR rect.12.fault ,
.BR dc.1.voltage ,
.BR dc.1.battery.2.current ,
.BR dc.1.fuse.4 .
A count byte is the
.B count
leaf of what it counts
.RB ( rect.count ", " dc.1.fuse.count ),
alarm-state bytes sit under
.B alarm
.RB ( ac.1.alarm.a ),
user-defined arrays are
.BR user_value ", " user_switch " and " user_alarm .
No name is another name followed by a dot and more, so the names nest as a
tree. Below, capital letters stand for instance numbers.
.PP
Each value has a unit (V, A, Hz, or none for counts, state bytes and plain
numbers), a type
.RB ( u8 ", " u32 ", " f32 " little-endian single precision, " time
7 bytes: year big-endian 16-bit, month, day, hour, minute, second, local time)
and an offset within the record. An instance is
.I present
when the count bytes named with it cover it (module 12 needs
.BR "rect.count >= 12" );
tools show only present values unless asked for the full capacity.
How a reading the power system reported invalid is stored:
.B marker
\- as -0.1 (bytes CD CC CC BD), read as invalid;
.B zero
\- as 0.0;
.B zero-captured
\- as 0.0 when captured, as received when polled;
.B none
\- kept as received. A NaN or infinite float reads as invalid too.
.PP
Monitor outputs name a value as the Prometheus gauge given with it (prefix
pxr52_, base unit suffix, one label per instance number and phase, for example
pxr52_ac_voltage_volts{input="1",phase="a"}) and as the MQTT topic
ROOT/value/NAME.
.SS Alarm, threshold and report entries
.B alarm
entries are the plug-in's CheckThresholdBool calls (level, key, id, text1,
text2, state);
.B threshold
entries its CheckThreshold calls (the host compares the value with its limits
for the id);
.B report
entries its change-of-value reports (CheckAOReport). Ids made per AC input,
rectifier module or fuse are listed once per instance up to the record's
capacity; an id that several rules share, or that one rule fills from
different values, has one entry per rule and value.
.PP
The level is a number, or the
.B \(dqhost\(dq
member of the configuration that decides it: for
.B host.levels
the alarm is sent only when the level map holds a non-zero level for the id
(and then with that level);
.B host.thresholds
and
.B host.reports
name the host's limits and change-of-value settings. A reading that the
plug-in writes into a text is shown as {NAME}. Each entry says in which
threshold modes
.RB ( \(dqappSetting\(dq.\(dqb_mode\(dq ;
.B other
is every value but 1, 2, 3 and 5) and under which settings it is sent.
.PP
The mode-1 \(dqAI\(dq checks of a threshold file and the mode-5 signal rules of
\(dqthresholdSetting\(dq use ids from the configuration, not from the plug-in;
they run only for values the device puts into its value map, and no device of
this plug-in fills it, so they send nothing.
)";
}

void values_section(const Catalogue& c, std::ostream& out) {
    out << ".SH VALUES\n";
    for (const ValueFamily& f : c.value_families()) {
        const ValueEntry& first = c.values()[f.members.front()];
        const ValueEntry& last = c.values()[f.members.back()];
        out << ".TP\n" << bold(f.pattern);
        if (!first.unit.empty()) out << " (" << roff(first.unit) << ")";
        out << "\n";
        std::string where = std::string(type_name(first.type)) + ", offset " +
                            std::to_string(first.offset);
        if (f.members.size() > 1)
            where += " to " + std::to_string(last.offset) + " (" + f.instances + ")";
        out << roff(f.description) << ".\n.br\n" << roff(where);
        if (first.invalid != InvalidMarker::none)
            out << "; invalid: " << invalid_name(first.invalid);
        const std::string presence = presence_text(c, first);
        if (presence != "always")
            out << "; present when " << roff(presence) << (f.members.size() > 1 ? " (first)" : "");
        // Labels that differ between instances by name, the others with
        // their value.
        out << ".\n.br\n" << roff(first.metric);
        if (!first.labels.empty()) {
            out << "{";
            for (std::size_t k = 0; k < first.labels.size(); ++k) {
                const auto& label = first.labels[k];
                out << (k == 0 ? "" : ",") << roff(label.first);
                bool fixed = true;
                for (std::size_t m : f.members)
                    fixed = fixed && c.values()[m].labels[k].second == label.second;
                if (fixed) out << "=\\(dq" << roff(label.second) << "\\(dq";
            }
            out << "}";
        }
        out << "\n";
    }
}

void alarm_entry_lines(const AlarmEntry& e, std::ostream& out) {
    switch (e.kind) {
        case SignalKind::alarm:
            out << "key " << roff(e.key) << ", text1 " << quoted(e.text1) << ", text2 "
                << quoted(e.text2) << "\n";
            break;
        case SignalKind::threshold:
            out << "value " << bold(e.value) << "\n";
            break;
        case SignalKind::report:
            out << "value " << bold(e.value) << ", settings template " << roff(e.template_id)
                << "\n";
            break;
    }
}

void alarms_section(const Catalogue& c, std::ostream& out) {
    out << ".SH ALARMS, THRESHOLDS AND REPORTS\n";
    std::string rule_set;
    for (const AlarmFamily& f : c.alarm_families()) {
        const AlarmEntry& first = c.alarms()[f.members.front()];
        const AlarmEntry& last = c.alarms()[f.members.back()];
        if (first.rule_set != rule_set) {
            rule_set = first.rule_set;
            out << ".SS " << roff(rule_set) << "\n";
        }
        out << ".TP\n" << bold(first.id);
        if (f.members.size() > 1 && last.id != first.id) out << " ... " << bold(last.id);
        out << " (" << kind_name(first.kind) << ", level " << roff(level_text(first)) << ")\n";
        out << roff(f.description) << ".\n";
        if (!f.instances.empty()) out << "Instances: " << roff(f.instances) << ".\n";
        out << ".br\n";
        if (f.members.size() > 1) out << "First: ";
        alarm_entry_lines(first, out);
        if (f.members.size() > 1) {
            out << ".br\nLast: ";
            alarm_entry_lines(last, out);
        }
        out << ".br\nSent in " << roff(first.when_text) << (f.members.size() > 1 ? " (first)" : "")
            << ".\n";
    }
}

}  // namespace

void write_signals_man_page(std::ostream& out) {
    const Catalogue& c = Catalogue::get();
    intro(c, out);
    values_section(c, out);
    alarms_section(c, out);
    out << R"(.SH SEE ALSO
.BR smdhost (1),
.BR pxr52-config (5),
.BR pxr52-ini (5),
.BR pxr52-scenario (5)
)";
}

}  // namespace smdcatalogue
