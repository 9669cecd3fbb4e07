#include "tools/smdhost/catalogue/entry_json.hpp"

#include <json/writer.h>

namespace smdcatalogue {

namespace {

Json::Value mode_list(std::uint8_t modes) {
    Json::Value list(Json::arrayValue);
    for (const std::string& m : mode_names(modes)) list.append(m);
    return list;
}

}  // namespace

std::string presence_text(const Catalogue& catalogue, const ValueEntry& entry) {
    std::string s;
    for (const CountTest& t : entry.presence) {
        if (!t.used()) continue;
        const ValueEntry* count = catalogue.value_at(t.offset);
        if (!s.empty()) s += " and ";
        s += (count != nullptr ? count->name : "byte " + std::to_string(t.offset)) +
             (t.exact ? " = " : " >= ") + std::to_string(t.value);
    }
    return s.empty() ? "always" : s;
}

std::string level_text(const AlarmEntry& entry) {
    switch (entry.kind) {
        case SignalKind::alarm:
            return entry.level != 0 ? std::to_string(entry.level) : "host.levels";
        case SignalKind::threshold: return "host.thresholds";
        case SignalKind::report: return "host.reports";
    }
    return std::string();
}

Json::Value value_json(const Catalogue& catalogue, const ValueEntry& e, std::optional<int> mode) {
    Json::Value v(Json::objectValue);
    v["kind"] = "value";
    v["name"] = e.name;
    v["unit"] = e.unit;
    v["offset"] = e.offset;
    v["width"] = e.width;
    v["type"] = type_name(e.type);
    v["invalid"] = invalid_name(e.invalid);
    v["description"] = e.description;
    v["field"] = e.field;
    v["present_when"] = presence_text(catalogue, e);
    v["metric"] = e.metric;
    Json::Value labels(Json::objectValue);
    for (const auto& l : e.labels) labels[l.first] = l.second;
    v["labels"] = labels;
    v["topic"] = mqtt_topic(e);
    Json::Value signals(Json::arrayValue);
    for (const AlarmEntry* s : catalogue.signals_of(e)) {
        if (mode && (s->when.modes & mode_bit(*mode)) == 0) continue;
        Json::Value ref(Json::objectValue);
        ref["id"] = s->id;
        ref["kind"] = kind_name(s->kind);
        ref["modes"] = mode_list(s->when.modes);
        ref["when"] = s->when_text;
        signals.append(ref);
    }
    v["signals"] = signals;
    return v;
}

Json::Value alarm_json(const AlarmEntry& e) {
    Json::Value v(Json::objectValue);
    v["kind"] = kind_name(e.kind);
    v["id"] = e.id;
    if (e.kind == SignalKind::alarm) {
        v["key"] = e.key;
        v["text1"] = e.text1;
        v["text2"] = e.text2;
        if (e.text1_varies) v["text1_varies"] = true;
    }
    if (e.kind == SignalKind::threshold) v["name"] = e.text1;
    if (e.kind == SignalKind::alarm && e.level != 0)
        v["level"] = e.level;
    else
        v["level"] = level_text(e);
    if (e.kind == SignalKind::report) v["template"] = e.template_id;
    if (!e.value.empty()) v["value"] = e.value;
    if (e.reads_threshold) v["reads_threshold"] = true;
    v["subject"] = e.subject;
    v["modes"] = mode_list(e.when.modes);
    v["when"] = e.when_text;
    v["rule_set"] = e.rule_set;
    v["description"] = e.description;
    return v;
}

std::string compact_json(const Json::Value& value) {
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    b["emitUTF8"] = true;
    return Json::writeString(b, value);
}

}  // namespace smdcatalogue
