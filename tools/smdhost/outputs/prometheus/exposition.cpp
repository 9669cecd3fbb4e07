#include "tools/smdhost/outputs/prometheus/exposition.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>
#include <system_error>

#include "tools/smdhost/outputs/encoding/utf8.hpp"

namespace smdmetrics {

const char* const kExpositionContentType = "text/plain; version=0.0.4; charset=utf-8";

namespace {

bool name_char(char c, bool first) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_') return true;
    return !first && c >= '0' && c <= '9';
}

bool valid_name(const std::string& name) {
    if (name.empty()) return false;
    for (std::size_t k = 0; k < name.size(); ++k)
        if (!name_char(name[k], k == 0)) return false;
    return true;
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Printable form of a name that failed the rules (it may hold anything).
std::string quoted(const std::string& s) { return "\"" + escape_label_value(s) + "\""; }

[[noreturn]] void fail(const MetricFamily& f, const std::string& what) {
    throw ExpositionError("metric family " + quoted(f.name) + ": " + what);
}

// The sample's label set, in name order: the identity of its series.
std::string label_set(const Sample& s) {
    auto labels = s.labels;
    std::sort(labels.begin(), labels.end());
    std::string key;
    for (const auto& [name, value] : labels) key += (key.empty() ? "" : ",") + name + "=" + quoted(value);
    return key;
}

void check_family(const MetricFamily& f) {
    if (!is_valid_metric_name(f.name)) fail(f, "invalid metric name");
    if (f.type == MetricType::counter && !ends_with(f.name, "_total"))
        fail(f, "a counter's name must end in _total");
    std::set<std::string> seen;
    for (const Sample& s : f.samples) {
        std::set<std::string> names;
        for (const auto& label : s.labels) {
            if (!is_valid_label_name(label.first)) fail(f, "invalid label name " + quoted(label.first));
            if (!names.insert(label.first).second) fail(f, "label " + quoted(label.first) + " given twice");
        }
        if (!seen.insert(label_set(s)).second) fail(f, "two samples with labels {" + label_set(s) + "}");
        if (f.type == MetricType::counter && s.value < 0)
            fail(f, "counter value " + format_value(s.value) + " is below zero");
    }
}

}  // namespace

bool is_valid_metric_name(const std::string& name) { return valid_name(name); }

bool is_valid_label_name(const std::string& name) {
    return valid_name(name) && name.compare(0, 2, "__") != 0;
}

std::string format_value(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    if (r.ec != std::errc()) return "NaN";  // cannot happen: 32 bytes hold any double
    return std::string(buf, r.ptr);
}

std::string escape_label_value(const std::string& value) {
    const std::string text = smdtext::sanitize_utf8(value);
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\\') out += "\\\\";
        else if (c == '"') out += "\\\"";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

std::string escape_help(const std::string& help) {
    const std::string text = smdtext::sanitize_utf8(help);
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

std::string render_exposition(const std::vector<MetricFamily>& families) {
    std::set<std::string> names;
    for (const MetricFamily& f : families) {
        check_family(f);
        if (!names.insert(f.name).second) fail(f, "declared twice");
    }
    std::string out;
    for (const MetricFamily& f : families) {
        out += "# HELP " + f.name + " " + escape_help(f.help) + "\n";
        out += "# TYPE " + f.name + (f.type == MetricType::counter ? " counter\n" : " gauge\n");
        for (const Sample& s : f.samples) {
            out += f.name;
            if (!s.labels.empty()) {
                out += '{';
                for (std::size_t k = 0; k < s.labels.size(); ++k) {
                    if (k > 0) out += ',';
                    out += s.labels[k].first + "=\"" + escape_label_value(s.labels[k].second) + "\"";
                }
                out += '}';
            }
            out += ' ' + format_value(s.value) + '\n';
        }
    }
    return out;
}

}  // namespace smdmetrics
