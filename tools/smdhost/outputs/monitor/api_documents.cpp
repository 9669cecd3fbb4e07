#include "tools/smdhost/outputs/monitor/api_documents.hpp"

#include <cmath>
#include <memory>
#include <sstream>

#include <json/writer.h>

#include "host/frame_codec.hpp"
#include "tools/smdhost/catalogue/catalogue.hpp"
#include "tools/smdhost/catalogue/value_reading.hpp"
#include "tools/smdhost/observer/event_time.hpp"
#include "tools/smdhost/outputs/encoding/utf8.hpp"

namespace smdmonitor {

namespace {

Json::Value text(const std::string& s) { return Json::Value(smdtext::sanitize_utf8(s)); }

// A catalogue reading as JSON: integers as integers, a float by the
// shortest text that reads back as the same float.
Json::Value reading_json(const smdcatalogue::ValueEntry& e, const smdcatalogue::Reading& r) {
    if (!r.valid) return Json::Value(Json::nullValue);
    if (e.type == smdcatalogue::ValueType::f32) return Json::Value(std::stod(r.text));
    return Json::Value(static_cast<Json::UInt64>(r.number));
}

}  // namespace

std::string json_text(const Json::Value& v) {
    static const std::unique_ptr<Json::StreamWriterBuilder> builder = [] {
        auto b = std::make_unique<Json::StreamWriterBuilder>();
        (*b)["indentation"] = "";
        (*b)["emitUTF8"] = true;
        (*b)["precision"] = 9;
        return b;
    }();
    return Json::writeString(*builder, v);
}

std::string device_label(const DeviceSnapshot& d) {
    std::string label = "data id " + std::to_string(d.data_id);
    if (d.address >= 0) label = "adr " + std::to_string(d.address) + " \xC2\xB7 " + label;
    return label;
}

Json::Value address_json(int address) {
    return address >= 0 ? Json::Value(address) : Json::Value(Json::nullValue);
}

Json::Value epoch_ms(double epoch) { return Json::Value(static_cast<Json::Int64>(std::llround(epoch * 1000.0))); }

std::string iso(double epoch) { return smdobserver::iso_time(epoch); }

const std::string& catalogue_document() {
    static const std::string doc = [] {
        const auto& cat = smdcatalogue::Catalogue::get();
        Json::Value root(Json::objectValue);
        Json::Value& values = root["values"] = Json::Value(Json::arrayValue);
        for (const auto& e : cat.values()) {
            if (e.type == smdcatalogue::ValueType::time) continue;
            Json::Value v(Json::objectValue);
            v["name"] = e.name;
            v["unit"] = e.unit;
            v["description"] = e.description;
            v["group"] = e.name.substr(0, e.name.find('.'));
            values.append(v);
        }
        Json::Value& alarms = root["alarms"] = Json::Value(Json::arrayValue);
        for (const auto& a : cat.alarms()) {
            if (a.kind != smdcatalogue::SignalKind::alarm) continue;
            Json::Value v(Json::objectValue);
            v["id"] = a.id;
            v["key"] = a.key;
            v["text1"] = a.text1;
            v["text2"] = a.text2;
            v["level"] = a.level;
            v["description"] = a.description;
            alarms.append(v);
        }
        return json_text(root);
    }();
    return doc;
}

Json::Value current_document(const DeviceSnapshot& d, SteadyTime now) {
    Json::Value doc(Json::objectValue);
    doc["t"] = iso(d.host_now(now));
    doc["adr"] = address_json(d.address);
    doc["data_id"] = d.data_id;
    const bool stale = d.stale(now);
    doc["stale"] = stale;
    doc["up"] = !stale;
    doc["records"] = static_cast<Json::UInt64>(d.records);
    Json::Value& settings = doc["settings"] = Json::Value(Json::objectValue);
    settings["b_mode"] = d.b_mode;
    settings["open_41_43"] = d.open_41_43;
    Json::Value& values = doc["values"] = Json::Value(Json::objectValue);
    if (d.record.empty()) return doc;
    doc["last_record"] = iso(d.record_at);
    doc["last_record_ms"] = epoch_ms(d.record_at);
    doc["age_s"] = std::round(d.age(now) * 1000.0) / 1000.0;
    for (const auto& e : smdcatalogue::Catalogue::get().values()) {
        if (e.type == smdcatalogue::ValueType::time) continue;
        const auto r = smdcatalogue::read_value(e, d.record.data(), d.record.size());
        if (r.present) values[e.name] = reading_json(e, r);
    }
    return doc;
}

Json::Value alarms_document(const DeviceSnapshot& d, SteadyTime now) {
    Json::Value doc(Json::objectValue);
    doc["t"] = iso(d.host_now(now));
    Json::Value& list = doc["active"] = Json::Value(Json::arrayValue);
    for (const auto& a : d.alarms) {
        Json::Value v(Json::objectValue);
        v["id"] = text(a.id);
        v["key"] = text(a.key);
        v["level"] = a.level;
        v["text1"] = text(a.text1);
        v["text2"] = text(a.text2);
        v["since"] = iso(a.since);
        v["since_ms"] = epoch_ms(a.since);
        list.append(v);
    }
    return doc;
}

Json::Value line_document(const DeviceSnapshot& d) {
    Json::Value doc(Json::objectValue);
    Json::Value& cycles = doc["cycles"] = Json::Value(Json::objectValue);
    cycles["seen"] = static_cast<Json::UInt64>(d.cycles);
    cycles["published"] = static_cast<Json::UInt64>(d.published);
    cycles["dropped"] = static_cast<Json::UInt64>(d.dropped);
    Json::Value& bad = doc["bad_frames"] = Json::Value(Json::objectValue);
    for (int k = 0; k < smdobserver::kFaultKinds; ++k)
        bad[smdhost::frame_fault_name(static_cast<smdhost::FrameFault>(k))] =
            static_cast<Json::UInt64>(d.bad_frames[static_cast<std::size_t>(k)]);
    doc["silent"] = d.silent;
    doc["longest_silence_s"] = std::round(d.longest_silence * 1000.0) / 1000.0;
    Json::Value& drops = doc["recent_drops"] = Json::Value(Json::arrayValue);
    for (const auto& c : d.recent_drops) {
        Json::Value v(Json::objectValue);
        v["n"] = static_cast<Json::UInt64>(c.n);
        v["t"] = iso(c.t);
        v["reason"] = text(c.reason);
        drops.append(v);
    }
    return doc;
}

}  // namespace smdmonitor
