#include "tools/smdhost/catalogue/value_entry.hpp"

namespace smdcatalogue {

const char* type_name(ValueType type) {
    switch (type) {
        case ValueType::u8: return "u8";
        case ValueType::u32: return "u32";
        case ValueType::f32: return "f32";
        case ValueType::time: return "time";
    }
    return "?";
}

const char* invalid_name(InvalidMarker marker) {
    switch (marker) {
        case InvalidMarker::none: return "none";
        case InvalidMarker::zero: return "zero";
        case InvalidMarker::zero_captured: return "zero-captured";
        case InvalidMarker::minus_tenth: return "marker";
    }
    return "?";
}

const char* invalid_description(InvalidMarker marker) {
    switch (marker) {
        case InvalidMarker::none: return "kept as received";
        case InvalidMarker::zero: return "stored as 0.0";
        case InvalidMarker::zero_captured: return "stored as 0.0 when captured, kept as received when polled";
        case InvalidMarker::minus_tenth: return "stored as the marker -0.1 (bytes CD CC CC BD)";
    }
    return "?";
}

std::string mqtt_topic(const ValueEntry& entry) { return "value/" + entry.name; }

std::string prometheus_series(const ValueEntry& entry) {
    std::string s = entry.metric;
    if (entry.labels.empty()) return s;
    s += '{';
    bool first = true;
    for (const auto& label : entry.labels) {
        if (!first) s += ',';
        first = false;
        s += label.first;
        s += "=\"";
        for (char c : label.second) {
            if (c == '\\' || c == '"') s += '\\';
            if (c == '\n') {
                s += "\\n";
                continue;
            }
            s += c;
        }
        s += '"';
    }
    return s + '}';
}

std::string heading(const ValueEntry& entry) {
    return entry.unit.empty() ? entry.name : entry.name + " [" + entry.unit + "]";
}

}  // namespace smdcatalogue
