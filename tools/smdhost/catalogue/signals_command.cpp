#include "tools/smdhost/catalogue/signals_command.hpp"

#include <algorithm>
#include <vector>

#include "tools/smdhost/catalogue/catalogue.hpp"
#include "tools/smdhost/catalogue/entry_json.hpp"
#include "tools/smdhost/catalogue/text_wrap.hpp"

namespace smdcatalogue {

namespace {

bool alarm_matches(const AlarmEntry& e, const NameFilter& filter) {
    if (filter.empty()) return true;
    for (const std::string* s : {&e.id, &e.key, &e.value})
        if (!s->empty() && filter.matches(*s)) return true;
    // "rect.12.*" lists the alarms about rect.12 along with its values.
    return !e.subject.empty() && filter.covers(e.subject);
}

std::string pad(const std::string& s, std::size_t width) {
    return s.size() >= width ? s + " " : s + std::string(width - s.size(), ' ');
}

std::string modes_short(std::uint8_t modes) {
    if (modes == kAllModes) return "all";
    std::string s;
    for (const std::string& m : mode_names(modes)) s += (s.empty() ? "" : ",") + m;
    return s;
}

// What an invalid reading becomes, when it is not kept as received.
std::string invalid_note(InvalidMarker m) {
    switch (m) {
        case InvalidMarker::none: return std::string();
        case InvalidMarker::zero: return " [invalid: 0.0]";
        case InvalidMarker::zero_captured: return " [invalid: 0.0 when captured]";
        case InvalidMarker::minus_tenth: return " [invalid: -0.1]";
    }
    return std::string();
}

void values_text(const std::vector<const ValueEntry*>& values, std::ostream& out) {
    std::size_t name_width = 4;
    for (const ValueEntry* v : values) name_width = std::max(name_width, v->name.size());
    const std::size_t lead = name_width + 2 + 5 + 5 + 7;
    out << "Values (" << values.size() << "; instance numbers count from 1)\n";
    out << pad("NAME", name_width + 2) << pad("UNIT", 5) << pad("TYPE", 5) << pad("OFFSET", 7)
        << "DESCRIPTION\n";
    for (const ValueEntry* v : values) {
        const std::string offset = std::to_string(v->offset);
        const std::vector<std::string> lines = wrap(v->description + invalid_note(v->invalid), lead, 80);
        out << pad(v->name, name_width + 2) << pad(v->unit, 5) << pad(type_name(v->type), 5)
            << std::string(offset.size() < 6 ? 6 - offset.size() : 0, ' ') << offset << " "
            << lines[0] << "\n";
        for (std::size_t k = 1; k < lines.size(); ++k)
            out << std::string(lead, ' ') << lines[k] << "\n";
    }
}

void alarms_text(const std::vector<const AlarmEntry*>& alarms, std::ostream& out) {
    out << "Alarms, thresholds and reports (" << alarms.size() << ")\n";
    out << pad("ID", 14) << pad("KIND", 10) << pad("LEVEL", 16) << pad("MODES", 8) << "SUBJECT\n";
    const std::size_t indent = 4;
    for (const AlarmEntry* e : alarms) {
        out << pad(e->id, 14) << pad(kind_name(e->kind), 10) << pad(level_text(*e), 16)
            << pad(modes_short(e->when.modes), 8) << (e->subject.empty() ? "-" : e->subject) << "\n";
        auto block = [&](const std::string& text) {
            for (const std::string& l : wrap(text, indent, 80))
                out << std::string(indent, ' ') << l << "\n";
        };
        block(e->description);
        switch (e->kind) {
            case SignalKind::alarm: {
                // Joined while the bytes fit: a wide character takes fewer
                // columns than it has bytes, so a line never gets too wide.
                const std::string pieces[] = {"key " + e->key, "text1 \"" + e->text1 + "\"",
                                              "text2 \"" + e->text2 + "\""};
                std::string line;
                for (const std::string& p : pieces) {
                    if (!line.empty() && indent + line.size() + 2 + p.size() > 80) {
                        out << std::string(indent, ' ') << line << "\n";
                        line.clear();
                    }
                    line += (line.empty() ? "" : "  ") + p;
                }
                out << std::string(indent, ' ') << line << "\n";
                break;
            }
            case SignalKind::threshold:
                out << std::string(indent, ' ') << "value " << e->value << ", name \"" << e->text1
                    << "\"\n";
                break;
            case SignalKind::report:
                out << std::string(indent, ' ') << "value " << e->value << ", settings template "
                    << e->template_id << "\n";
                break;
        }
        block("when: " + e->when_text);
    }
}

// A hint for a filter that matched nothing: the nearest name or id of its
// first wildcard-free pattern.
std::string suggestion(const Catalogue& c, const NameFilter& filter, std::optional<int> mode) {
    for (const std::string& p : filter.patterns()) {
        if (p.find_first_of("*?[") != std::string::npos) continue;
        const std::string name = c.nearest_value_name(p);
        if (!name.empty()) return name;
        const std::string id = c.nearest_id(p, IdUse::any, mode);
        if (!id.empty()) return id;
    }
    return std::string();
}

}  // namespace

int run_signals(const SignalsOptions& options, std::ostream& out, std::ostream& err) {
    const Catalogue& c = Catalogue::get();
    const NameFilter filter(options.filter);
    const std::vector<const ValueEntry*> values = c.select_values(filter);
    std::vector<const AlarmEntry*> alarms;
    for (const AlarmEntry& e : c.alarms()) {
        if (options.mode && (e.when.modes & mode_bit(*options.mode)) == 0) continue;
        if (alarm_matches(e, filter)) alarms.push_back(&e);
    }
    if (values.empty() && alarms.empty()) {
        err << "smdhost signals: no value, id or key matches '" << options.filter << "'";
        if (options.mode) err << " in threshold mode " << *options.mode;
        const std::string hint = suggestion(c, filter, options.mode);
        if (!hint.empty()) err << "; did you mean " << hint << "?";
        err << std::endl;
        return 1;
    }
    if (options.format == SignalsOptions::Format::json) {
        for (const ValueEntry* v : values) out << compact_json(value_json(c, *v, options.mode)) << '\n';
        for (const AlarmEntry* e : alarms) out << compact_json(alarm_json(*e)) << '\n';
    } else {
        if (!values.empty()) values_text(values, out);
        if (!values.empty() && !alarms.empty()) out << "\n";
        if (!alarms.empty()) alarms_text(alarms, out);
    }
    out.flush();
    if (!out) {
        err << "smdhost signals: cannot write the output" << std::endl;
        return 1;
    }
    return 0;
}

}  // namespace smdcatalogue
