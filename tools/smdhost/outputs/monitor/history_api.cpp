#include "tools/smdhost/outputs/monitor/history_api.hpp"

#include <cmath>

#include "tools/smdhost/catalogue/catalogue.hpp"
#include "tools/smdhost/outputs/encoding/utf8.hpp"
#include "tools/smdhost/outputs/monitor/api_documents.hpp"
#include "tools/smdhost/records/history_query.hpp"
#include "tools/smdhost/session/local_time.hpp"

namespace smdmonitor {

namespace {

constexpr std::size_t kMaxNames = 16;
constexpr long kMaxPoints = 5000;
constexpr std::size_t kMaxSpans = 1000;

// Epoch seconds, or local time; false when it is neither.
bool parse_time(const std::string& text, double& epoch) {
    std::string why;
    if (smdtime::parse_local_loose(text, epoch, why)) return true;
    char* end = nullptr;
    epoch = std::strtod(text.c_str(), &end);
    return !text.empty() && end != nullptr && *end == '\0' && std::isfinite(epoch) && std::fabs(epoch) < 1e13;
}

Json::Value stat_json(const smdhistory::BucketRow::Stat& s, double v) {
    return s.count > 0 ? Json::Value(v) : Json::Value(Json::nullValue);
}

}  // namespace

smdhttp::HttpReply json_error(int status, const std::string& message) {
    Json::Value v(Json::objectValue);
    v["error"] = message;
    return smdhttp::HttpReply::json(json_text(v), status);
}

smdhttp::HttpReply history_reply(const smdhttp::HttpRequest& req, const std::string& store,
                                 const DeviceSnapshot& device, SteadyTime now) {
    if (store.empty())
        return json_error(404, "no stored history: smdhost runs without --history");
    const auto& cat = smdcatalogue::Catalogue::get();
    std::vector<const smdcatalogue::ValueEntry*> values;
    const std::string names = req.param("names");
    std::size_t start = 0;
    while (start <= names.size() && !names.empty()) {
        std::size_t end = names.find(',', start);
        if (end == std::string::npos) end = names.size();
        const std::string name = names.substr(start, end - start);
        start = end + 1;
        if (name.empty()) continue;
        const auto* e = cat.find_value(name);
        if (e == nullptr || e->type == smdcatalogue::ValueType::time)
            return json_error(400, "names: '" + name + "' is no catalogue value");
        values.push_back(e);
        if (values.size() > kMaxNames) return json_error(400, "names: at most 16 values");
    }
    if (values.empty()) return json_error(400, "names: give 1 to 16 catalogue value names, comma-separated");

    double to = device.host_now(now);
    double from = to - 3600.0;
    if (!req.param("to").empty() && !parse_time(req.param("to"), to))
        return json_error(400, "to: '" + req.param("to") + "' is not epoch seconds or YYYY-MM-DDTHH:MM:SS");
    if (req.param("from").empty()) from = to - 3600.0;
    else if (!parse_time(req.param("from"), from))
        return json_error(400, "from: '" + req.param("from") + "' is not epoch seconds or YYYY-MM-DDTHH:MM:SS");
    if (!(from < to)) return json_error(400, "from must be before to");
    long points = 600;
    if (!req.param("points").empty()) {
        const std::string p = req.param("points");
        char* end = nullptr;
        points = std::strtol(p.c_str(), &end, 10);
        if (p.size() > 6 || end == nullptr || *end != '\0' || points < 1 || points > kMaxPoints)
            return json_error(400, "points: '" + p + "' is not a number from 1 to 5000");
    }
    const double bucket = std::max(1.0, std::ceil((to - from) / static_cast<double>(points)));

    smdhistory::HistoryReader reader;
    std::string error;
    std::vector<smdhistory::BucketRow> rows;
    std::vector<smdhistory::AlarmSpan> spans;
    if (!reader.open(store, error) ||
        !reader.buckets(device.data_id, from, to, bucket, values, rows, error) ||
        !reader.alarms(device.data_id, from, to, kMaxSpans, spans, error))
        return json_error(503, "history: " + error);

    Json::Value doc(Json::objectValue);
    doc["from"] = iso(from);
    doc["to"] = iso(to);
    doc["bucket_s"] = bucket;
    Json::Value& series = doc["series"] = Json::Value(Json::objectValue);
    for (std::size_t k = 0; k < values.size(); ++k) {
        Json::Value& list = series[values[k]->name] = Json::Value(Json::arrayValue);
        for (const auto& r : rows) {
            const auto& s = r.stats[k];
            Json::Value row(Json::arrayValue);
            row.append(epoch_ms(r.start));
            row.append(stat_json(s, s.mean));
            row.append(stat_json(s, s.min));
            row.append(stat_json(s, s.max));
            list.append(row);
        }
    }
    Json::Value& alarms = doc["alarms"] = Json::Value(Json::arrayValue);
    for (const auto& a : spans) {
        Json::Value v(Json::objectValue);
        // The store is outside input: its texts may hold anything.
        v["id"] = smdtext::sanitize_utf8(a.id);
        v["key"] = smdtext::sanitize_utf8(a.key);
        v["text"] = smdtext::sanitize_utf8(a.text2.empty() ? a.text1 : a.text2);
        v["level"] = a.level;
        v["from_ms"] = epoch_ms(a.raised);
        v["to_ms"] = a.cleared ? epoch_ms(a.cleared_at) : Json::Value(Json::nullValue);
        alarms.append(v);
    }
    return smdhttp::HttpReply::json(json_text(doc));
}

}  // namespace smdmonitor
