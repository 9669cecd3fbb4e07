#include "tools/smdhost/check/config_check.hpp"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <locale>
#include <map>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <json/json.h>
#include <sys/stat.h>
#include <unistd.h>

#include "alarm/threshold_id.hpp"
#include "config/config_text.hpp"
#include "tools/smdhost/check/signal_ids.hpp"
#include "tools/smdhost/cli/cli.hpp"
#include "tools/smdhost/inputs/input_file.hpp"
#include "tools/smdhost/session/host_config.hpp"
#include "tools/smdhost/session/output.hpp"
#include "tools/smdhost/session/session.hpp"

namespace smdcheck {

namespace {

// The device type the shipped device reports; threshold files are named by it.
const char kDeviceType[] = "tarnel_brelm_pxr52_419";

enum class Conversion {
    non_zero,  // 1-byte flag: 1 when the integer is non-zero
    integer,   // the integer itself
    low_byte,  // the integer modulo 256
};

// The keys the plug-in reads from "appSetting", in its order, with the
// listening device's defaults. `poll_only`: shapes active polling, which the
// listening device never does.
struct KeySpec {
    const char* name;
    Conversion conversion;
    int fallback;
    bool poll_only;
};

const KeySpec kKeys[] = {
    {"has_ac", Conversion::non_zero, 1, false},
    {"has_dc", Conversion::non_zero, 1, false},
    {"no_dc_number", Conversion::integer, -1, true},
    {"ac_line", Conversion::integer, 1, false},
    {"ac_type", Conversion::integer, 0, false},
    {"has_a", Conversion::non_zero, 1, false},
    {"has_b", Conversion::non_zero, 1, false},
    {"has_c", Conversion::non_zero, 1, false},
    {"dc_i_adjust", Conversion::integer, 1, true},
    {"skip_41_41", Conversion::integer, 0, true},
    {"has_tower", Conversion::non_zero, 0, true},
    {"no_42_arg", Conversion::integer, 0, true},
    {"no_40_arg", Conversion::integer, 0, true},
    {"open_41_43", Conversion::integer, 0, false},
    {"cg", Conversion::low_byte, 1, true},
    {"b_mode", Conversion::integer, 1, false},
};

// The four limits of a mode-5 item: value, recovery and level keys, and the
// suffix of the rule id.
struct LimitSpec {
    const char* label;
    const char* value_key;
    const char* recovery_key;
    const char* level_key;
    const char* suffix;
};

const LimitSpec kLimits[] = {
    {"Up", "UpValue", "UpReconverValue", "UpAlarmLevel", "001"},
    {"Up2", "Up2Value", "Up2ReconverValue", "Up2AlarmLevel", "002"},
    {"Low", "LowValue", "LowReconverValue", "LowAlarmLevel", "003"},
    {"Low2", "Low2Value", "Low2ReconverValue", "Low2AlarmLevel", "004"},
};

std::string compact(const Json::Value& v) {
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    b["emitUTF8"] = true;
    return Json::writeString(b, v);
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

std::string padded(const std::string& s, std::size_t width) {
    return s.size() >= width ? s + " " : s + std::string(width - s.size(), ' ');
}

std::string type_name(const Json::Value& v) {
    switch (v.type()) {
        case Json::nullValue: return "null";
        case Json::intValue:
        case Json::uintValue:
        case Json::realValue: return "a number";
        case Json::stringValue: return "a string";
        case Json::booleanValue: return "a boolean";
        case Json::arrayValue: return "an array";
        case Json::objectValue: return "an object";
    }
    return "a value";
}

// How atoi reads `text`: whether it found digits, what follows them, and
// whether the number lies outside the int range (the plug-in saturates).
struct IntReading {
    bool digits = false;
    std::string rest;
    bool out_of_range = false;
};

IntReading read_leading_int(const std::string& text) {
    IntReading r;
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        r.digits = true;
        if (v <= static_cast<long long>(INT_MAX) + 1) v = v * 10 + (text[i] - '0');
    }
    r.out_of_range = negative ? v > static_cast<long long>(INT_MAX) + 1 : v > INT_MAX;
    r.rest = text.substr(i);
    return r;
}

bool only_zero_digits(const std::string& s) {
    for (char c : s)
        if (c != '0') return false;
    return true;
}

bool all_digits(const std::string& s) {
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Warnings for how a scalar's text becomes an integer. Returns the integer.
int explain_integer(Writer& w, const Json::Value& v, const std::string& text) {
    const int n = pxr52::leading_int(text);
    const IntReading r = read_leading_int(text);
    if (v.isBool()) {
        w.warn("a JSON boolean reads as its text " + quoted(text) +
               ", which holds no number: 0 (write 1 or 0)");
    } else if (!r.digits) {
        w.warn(text.empty() ? std::string("empty text reads as 0")
                            : "text " + quoted(text) + " starts with no number: reads as 0");
    } else if (!r.rest.empty()) {
        if (r.rest[0] == '.' && all_digits(r.rest.substr(1))) {
            if (!only_zero_digits(r.rest.substr(1)))
                w.warn("the fraction is cut: " + text + " reads as " + std::to_string(n));
        } else {
            w.warn("only the leading integer of " + quoted(text) + " is read: " +
                   std::to_string(n));
        }
    }
    if (r.out_of_range)
        w.warn(text + " lies outside the int range: read as " + std::to_string(n));
    return n;
}

// One "appSetting" key. Returns the value the member ends with.
int check_key(Writer& w, const Json::Value& app, const KeySpec& k) {
    const std::string label = "  " + padded(k.name, 14);
    const Json::Value& v = pxr52::member_of(app, k.name);
    const std::string note = k.poll_only ? "  (active polling only: no effect in the listening device)"
                                         : std::string();
    const std::string kept = "-> " + std::to_string(k.fallback) + " (default)";
    if (v.isNull()) {
        if (app.isObject() && app.isMember(k.name)) {
            w.line(label + padded("null", 18) + kept + note);
            w.warn("null counts as absent: the default stays");
        } else {
            w.line(label + padded("(absent)", 18) + kept + note);
        }
        return k.fallback;
    }
    std::string text;
    if (!pxr52::scalar_text(v, text)) {
        w.line(label + padded(compact(v), 18) + kept + note);
        w.warn(type_name(v) + " has no text: counts as absent, the default stays");
        return k.fallback;
    }
    // Collect the reading's warnings first: they go below the key's line.
    Report sub;
    Writer sw(sub);
    const int n = explain_integer(sw, v, text);
    int result = n;
    switch (k.conversion) {
        case Conversion::non_zero:
            result = n != 0 ? 1 : 0;
            break;
        case Conversion::integer:
            break;
        case Conversion::low_byte:
            result = static_cast<int>(static_cast<unsigned>(n) & 0xFFu);
            if (n < 0 || n > 255)
                sw.warn(std::string(k.name) + " keeps only the low 8 bits: " + std::to_string(n) +
                        " becomes " + std::to_string(result));
            break;
    }
    if (std::string(k.name) == "b_mode" && result != 1 && result != 2 && result != 3 &&
        result != 5)
        sw.warn("threshold mode " + std::to_string(result) +
                " loads no threshold definitions and runs only the model rules of other modes");
    w.line(label + padded(compact(v), 18) + "-> " + std::to_string(result) + note);
    w.absorb(sub);
    return result;
}

// Splits at the first comma; a value without one is both halves (as the
// plug-in reads "AI" values).
std::pair<std::string, std::string> split_first_comma(const std::string& value) {
    const auto comma = value.find(',');
    if (comma == std::string::npos) return {value, value};
    return {value.substr(0, comma), value.substr(comma + 1)};
}

std::string trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])) != 0) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])) != 0) --e;
    return s.substr(b, e - b);
}

// Line numbers of the keys of an INI file, by section and key (the first
// line that names them), for messages a person can act on.
std::map<std::pair<std::string, std::string>, int> key_lines(const std::string& content) {
    std::map<std::pair<std::string, std::string>, int> lines;
    std::istringstream in(content);
    std::string text, section;
    for (int n = 1; std::getline(in, text); ++n) {
        const std::string t = trim(text);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t[0] == '[') {
            const auto close = t.find(']');
            section = trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            continue;
        }
        const auto eq = t.find('=');
        if (eq == std::string::npos) continue;
        lines.emplace(std::make_pair(section, trim(t.substr(0, eq))), n);
    }
    return lines;
}

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void check_ini_file(Writer& w, const std::string& path, DefinedIds& defined) {
    namespace pt = boost::property_tree;
    std::string content;
    std::string error;
    if (!smdinput::read_small_file(path, smdcli::kMaxThresholdFile, "a threshold file", content,
                                   error)) {
        w.error(error, "  ");
        return;
    }
    pt::ptree tree;
    try {
        std::istringstream in(content);
        in.imbue(std::locale());
        pt::read_ini(in, tree);
    } catch (const pt::ini_parser_error& e) {
        const std::string where = e.line() != 0 ? path + ":" + std::to_string(e.line()) : path;
        w.error(where + ": " + e.message() + " (InitSetting fails with this error)", "  ");
        return;
    } catch (const pt::ptree_error& e) {
        w.error(path + ": " + e.what() + " (InitSetting fails with this error)", "  ");
        return;
    }
    const auto ai = tree.get_child_optional("AI");
    if (!ai) {
        w.error(path + ": no [AI] section (InitSetting fails with \"No such node (AI)\")", "  ");
        return;
    }
    const auto lines = key_lines(content);
    auto line_of = [&](const std::string& section, const std::string& key) {
        const auto it = lines.find({section, key});
        return it == lines.end() ? 0 : it->second;
    };
    auto where = [&](const std::string& section, const std::string& key) {
        const int line = line_of(section, key);
        return line == 0 ? path : path + ":" + std::to_string(line);
    };
    std::size_t loaded = 0;
    w.line("  [AI] (value name -> signal id, threshold id, signal name):");
    for (const auto& child : *ai) {
        const auto entry = split_first_comma(child.second.data());
        std::string threshold_id;
        if (!pxr52::derive_threshold_id(entry.first, threshold_id)) {
            w.line("    " + padded(child.first, 14) + "-> " + quoted(entry.first) + "  skipped");
            w.warn(where("AI", child.first) + ": signal id " + quoted(entry.first) +
                       " has fewer than " + std::to_string(pxr52::kMinAiSignalIdLength) +
                       " characters: it has no threshold id and the plug-in skips it",
                   "      ");
            continue;
        }
        ++loaded;
        w.line("    " + padded(child.first, 14) + "-> " + entry.first + "  " + threshold_id + "  " +
               entry.second);
        // The check runs under the threshold id, the report under the signal
        // id with the threshold id's settings as template.
        defined.thresholds.insert(threshold_id);
        defined.reports.insert(entry.first);
        defined.reports.insert(threshold_id);
        const IdPlace place{path, line_of("AI", child.first), "[AI] " + quoted(child.first)};
        // Only the id as written: the threshold id derived from a correct
        // signal id may well lie one digit from another known id.
        check_defined_id(w, entry.first, place, "      ");
        if (child.second.data().find(',') == std::string::npos)
            w.warn(where("AI", child.first) +
                       ": no comma: the whole value is both the signal id and the signal name",
                   "      ");
    }
    if (loaded == 0) w.warn("no usable [AI] entry: mode 1 checks no AI threshold", "  ");
    const auto alarm = tree.get_child_optional("ALARM");
    if (alarm)
        w.line("  [ALARM]: " + std::to_string(alarm->size()) +
               (alarm->size() == 1 ? " entry" : " entries") + " (loaded, not checked)");
}

void check_mode1(Writer& w, unsigned data_id, const std::string& ini_dir, DefinedIds& defined) {
    const std::string base = ini_dir.empty() ? std::string("./ini") : ini_dir;
    w.line("threshold file search (data id " + std::to_string(data_id) + ", device type " +
           kDeviceType + "):");
    struct Candidate {
        const char* dir;
        bool by_id;
        const char* extension;
    };
    // The plug-in's order: directory, then name, then type; ".yaml" before
    // ".ini" of the same name.
    static const Candidate candidates[] = {
        {"", true, ".yaml"},        {"", true, ".ini"},        {"", false, ".yaml"},
        {"", false, ".ini"},        {"tarnel/", true, ".yaml"}, {"tarnel/", true, ".ini"},
        {"tarnel/", false, ".yaml"}, {"tarnel/", false, ".ini"},
    };
    std::string picked;
    std::string picked_label;
    for (const Candidate& c : candidates) {
        const std::string name =
            std::string(c.dir) + (c.by_id ? std::to_string(data_id) : kDeviceType) + c.extension;
        const std::string label = "./ini/" + name;
        const std::string path = base + "/" + name;
        const std::string shown =
            padded(label, 44) + (ini_dir.empty() ? std::string() : "(" + path + ") ");
        if (!exists(path)) {
            w.line("  " + shown + "absent");
        } else if (picked.empty()) {
            picked = path;
            picked_label = label;
            w.line("  " + shown + "picked");
        } else {
            w.line("  " + shown + "present, not read (an earlier candidate wins)");
        }
    }
    if (picked.empty()) {
        w.warn("no threshold file: the plug-in logs \"b ini not found\" and mode 1 checks no AI "
               "threshold",
               "  ");
        return;
    }
    if (ends_with(picked, ".yaml")) {
        std::string ini = picked.substr(0, picked.size() - 5) + ".ini";
        w.warn(picked_label + " is picked, but the plug-in has no reader for .yaml files: no AI "
                              "threshold is loaded" +
                   (exists(ini) ? " (the .ini file of the same name is not read)" : ""),
               "  ");
        return;
    }
    check_ini_file(w, picked, defined);
}

void check_mode3(Writer& w, const Json::Value& setting) {
    if (setting.isNull()) {
        w.line("  no \"thresholdSetting\": nothing is loaded");
        return;
    }
    if (!setting.isObject()) {
        w.warn("\"thresholdSetting\" is " + type_name(setting) + ", not an object: nothing is loaded",
               "  ");
        return;
    }
    static const char* const kParts[] = {"NMAlarmID", "ID", "SignalNumber"};
    for (const std::string& name : setting.getMemberNames()) {
        const Json::Value& item = setting[name];
        if (!item.isObject()) {
            w.line("  " + quoted(name) + " skipped");
            w.warn("the item is " + type_name(item) + ", not an object");
            continue;
        }
        std::string triple, text;
        Report sub;
        Writer sw(sub);
        for (const char* part : kParts) {
            const Json::Value& v = item[part];
            if (v.isNull())
                sw.warn(std::string("\"") + part + "\" is missing: its part of the id is empty");
            else if (!pxr52::scalar_text(v, text))
                sw.warn(std::string("\"") + part + "\" is " + type_name(v) +
                        ": its part of the id is empty");
            else
                triple += text;
            triple += ';';
        }
        const Json::Value& sn = item["SignalName"];
        std::string signal_name = "(no SignalName)";
        if (!sn.isNull() && pxr52::scalar_text(sn, text)) signal_name = quoted(text);
        w.line("  " + quoted(name) + " -> " + triple + "  " + signal_name);
        w.absorb(sub);
    }
    w.line("  mode 3 runs no threshold check: these tables are not evaluated");
}

// Non-empty text of item[key], as the plug-in's mode-5 loader takes it.
bool non_empty_text(const Json::Value& item, const char* key, std::string& out) {
    const Json::Value& v = pxr52::member_of(item, key);
    if (v.isNull() || !pxr52::scalar_text(v, out)) return false;
    return !out.empty();
}

// Why item[key] gives no text, for a message.
std::string missing_reason(const Json::Value& item, const char* key) {
    const Json::Value& v = pxr52::member_of(item, key);
    if (!item.isMember(key)) return std::string("\"") + key + "\" is missing";
    if (v.isNull()) return std::string("\"") + key + "\" is null";
    std::string t;
    if (!pxr52::scalar_text(v, t)) return std::string("\"") + key + "\" is " + type_name(v);
    return std::string("\"") + key + "\" is empty";
}

// A limit text read with atof: warns when not all of it is a number.
void explain_float(Writer& w, const char* key, const std::string& text) {
    const char* start = text.c_str();
    char* end = nullptr;
    std::strtod(start, &end);
    if (end == start) {
        w.warn(std::string("\"") + key + "\" " + quoted(text) + " is not a number: reads as 0");
        return;
    }
    if (!trim(std::string(end)).empty())
        w.warn(std::string("\"") + key + "\" " + quoted(text) + ": only its leading number is read");
}

void check_mode5(Writer& w, const std::string& config_path, const Json::Value& setting) {
    if (!setting.isObject()) {
        if (setting.isNull())
            w.warn("no \"thresholdSetting\": mode 5 has no signal rule", "  ");
        else
            w.warn("\"thresholdSetting\" is " + type_name(setting) +
                       ", not an object: mode 5 has no signal rule",
                   "  ");
        return;
    }
    // signal name -> member that defined each limit, to tell replacements.
    std::map<std::string, std::string> defined[4];
    std::size_t rules = 0;
    for (const std::string& member : setting.getMemberNames()) {
        const Json::Value& item = setting[member];
        const std::string head = "  " + quoted(member);
        std::string id, name;
        if (!item.isObject()) {
            w.line(head + " skipped");
            w.warn("the item is " + type_name(item) + ", not an object");
            continue;
        }
        if (!non_empty_text(item, "ID", id)) {
            w.line(head + " skipped");
            w.warn(missing_reason(item, "ID") + ": the item needs a non-empty \"ID\"");
            continue;
        }
        if (!non_empty_text(item, "SignalName", name)) {
            w.line(head + " skipped");
            w.warn(missing_reason(item, "SignalName") +
                   ": the item needs a non-empty \"SignalName\"");
            continue;
        }
        w.line(head + "  signal " + quoted(name) + "  id " + id);
        std::size_t item_rules = 0;
        for (int l = 0; l < 4; ++l) {
            const LimitSpec& limit = kLimits[l];
            const char* keys[3] = {limit.value_key, limit.recovery_key, limit.level_key};
            std::string texts[3];
            int given = 0;
            for (int k = 0; k < 3; ++k)
                if (non_empty_text(item, keys[k], texts[k])) ++given;
            if (given == 0) continue;
            if (given < 3) {
                std::string why;
                for (int k = 0; k < 3; ++k)
                    if (texts[k].empty()) why += (why.empty() ? "" : ", ") + missing_reason(item, keys[k]);
                w.line("    " + padded(limit.label, 5) + "skipped");
                w.warn(why + ": a limit needs its value, recovery value and level", "      ");
                continue;
            }
            ++item_rules;
            ++rules;
            const float value = static_cast<float>(std::atof(texts[0].c_str()));
            const float recovery = static_cast<float>(std::atof(texts[1].c_str()));
            const int level = pxr52::leading_int(texts[2]);
            char buf[160];
            std::snprintf(buf, sizeof buf, "rule %s%s  threshold %.9g  recovery %.9g  level %d",
                          id.c_str(), limit.suffix, static_cast<double>(value),
                          static_cast<double>(recovery), level);
            w.line("    " + padded(limit.label, 5) + buf);
            check_defined_id(w, id + limit.suffix,
                             {config_path, 0, "\"thresholdSetting\"." + quoted(member)}, "      ");
            Report sub;
            Writer sw(sub);
            explain_float(sw, keys[0], texts[0]);
            explain_float(sw, keys[1], texts[1]);
            const Json::Value level_value(texts[2]);
            explain_integer(sw, level_value, texts[2]);
            w.absorb(sub, "  ");
            auto& seen = defined[l];
            const auto it = seen.find(name);
            if (it != seen.end())
                w.warn("replaces the " + std::string(limit.label) + " rule of item " +
                           quoted(it->second) + " (same SignalName " + quoted(name) + ")",
                       "      ");
            seen[name] = member;
        }
        if (item_rules == 0) w.warn("the item has no complete limit: it makes no rule");
    }
    w.line("  " + std::to_string(rules) + " signal rules in all");
}

}  // namespace

Report check_configuration(const std::string& config_path, const std::string& ini_dir) {
    Report report;
    report.config = config_path;
    Writer w(report);
    Json::Value config;
    std::string error;
    if (!smdconfig::load_config(config_path, config, error)) {
        report.failure = error;
        return report;
    }
    w.line("configuration " + config_path);
    smdconfig::HostSettings host;
    if (!smdconfig::read_host_settings(config, host, error)) {
        w.error(config_path + ": " + error, "");
        return report;
    }
    report.has_data_id = true;
    report.data_id = host.data_id;
    const bool id_given = config["host"].isObject() && config["host"].isMember("dataId");
    w.line("data id " + std::to_string(host.data_id) +
           (id_given ? " (from \"host\")" : " (default; \"host\".\"dataId\" sets it)") +
           ", device type " + kDeviceType);

    const Json::Value& app = pxr52::member_of(config, "appSetting");
    int mode = 1;
    if (app.isNull()) {
        w.line("no \"appSetting\": every switch keeps its default");
    } else if (!app.isObject()) {
        w.line("\"appSetting\":");
        w.warn("\"appSetting\" is " + type_name(app) +
                   ", not an object: no key is read, every switch keeps its default",
               "  ");
    }
    if (app.isObject()) {
        w.line("\"appSetting\" (key, value given, value the device holds):");
        for (const KeySpec& k : kKeys) {
            const int v = check_key(w, app, k);
            if (std::string(k.name) == "b_mode") mode = v;
        }
        for (const std::string& key : app.getMemberNames()) {
            bool known = false;
            std::string similar;
            for (const KeySpec& k : kKeys) {
                if (key == k.name) known = true;
                std::string a = key, b = k.name;
                for (auto& c : a) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                if (a == b && !known) similar = k.name;
            }
            if (known) continue;
            w.line("  " + padded(key, 14) + padded(compact(app[key]), 18) + "unknown key, ignored");
            w.warn(similar.empty() ? std::string("the plug-in reads no such key")
                                   : "the plug-in reads no such key; keys are case-sensitive: " +
                                         quoted(similar) + "?");
        }
    }

    const Json::Value& setting = pxr52::member_of(config, "thresholdSetting");
    report.mode = mode;
    w.line("threshold mode " + std::to_string(mode));
    DefinedIds defined;
    switch (mode) {
        case 1:
            check_mode1(w, host.data_id, ini_dir, defined);
            break;
        case 3:
            w.line("\"thresholdSetting\" (mode 3: names and id triples):");
            check_mode3(w, setting);
            break;
        case 5:
            w.line("\"thresholdSetting\" (mode 5: signal rules):");
            check_mode5(w, config_path, setting);
            break;
        case 2:
            w.line("  no threshold definitions: the power-system and model rules of mode 2 run");
            break;
        default:
            w.line("  no threshold definitions: only the model rules of other modes run");
            break;
    }
    if (mode != 3 && mode != 5 && !setting.isNull())
        w.warn("\"thresholdSetting\" is ignored in threshold mode " + std::to_string(mode), "  ");
    check_host_ids(w, config_path, config, mode, defined);
    return report;
}

int run_check(const smdcli::Options& opts) {
    if (!opts.ini_dir.empty()) {
        struct stat st {};
        if (stat(opts.ini_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            std::cerr << "smdhost: --ini-dir " << opts.ini_dir << ": not a folder" << std::endl;
            return smdsession::kExitUsage;
        }
    }
    // Each configuration as a device of the line: PATH, or ADDR=PATH.
    std::vector<Report> reports;
    for (const std::string& word : opts.files) {
        std::string path = word;
        int address = -1;
        smdcli::DeviceOption dev;
        if (word.find('=') != std::string::npos && smdcli::read_device_option(word, dev).empty()) {
            path = dev.config;
            address = dev.address;
        }
        Report r = check_configuration(path, opts.ini_dir);
        if (!r.failure.empty()) {
            std::cerr << "smdhost: " << r.failure << std::endl;
            return smdsession::kExitFailure;
        }
        r.address = address;
        reports.push_back(std::move(r));
    }
    // What devices of one line cannot share: the data id (threshold file
    // and stored records are found by it) and the address.
    for (std::size_t k = 0; k < reports.size(); ++k) {
        Writer w(reports[k]);
        for (std::size_t j = 0; j < k; ++j) {
            if (reports[k].has_data_id && reports[j].has_data_id &&
                reports[k].data_id == reports[j].data_id)
                w.error("data id " + std::to_string(reports[k].data_id) + " is also that of " +
                            reports[j].config + ": each device of a line needs its own",
                        "");
            if (reports[k].address >= 0 && reports[k].address == reports[j].address)
                w.error("address " + std::to_string(reports[k].address) + " is also that of " +
                            reports[j].config,
                        "");
        }
    }
    const bool json = opts.format == smdcli::Format::json;
    smdout::Output out(STDOUT_FILENO);
    bool all_passed = true;
    for (std::size_t k = 0; k < reports.size(); ++k) {
        const Report& r = reports[k];
        if (json) {
            out.text(report_json(r, opts.strict));
        } else {
            if (reports.size() > 1) {
                if (k > 0) out.line("");
                if (r.address >= 0) out.line("device at adr " + std::to_string(r.address));
            }
            out.text(report_text(r, opts.strict));
        }
        all_passed = all_passed && passed(r, opts.strict);
    }
    if (!out.flush()) {
        std::cerr << "smdhost: " << out.error() << std::endl;
        return smdsession::kExitFailure;
    }
    return all_passed ? smdsession::kExitOk : smdsession::kExitFailure;
}

}  // namespace smdcheck
