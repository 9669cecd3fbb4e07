#include "tools/smdhost/outputs/monitor/metrics_page.hpp"

#include <map>

#include "host/frame_codec.hpp"
#include "tools/smdhost/catalogue/catalogue.hpp"
#include "tools/smdhost/catalogue/value_reading.hpp"
#include "tools/smdhost/outputs/prometheus/exposition.hpp"

namespace smdmonitor {

namespace {

using smdmetrics::MetricFamily;
using smdmetrics::MetricType;
using smdmetrics::Sample;
using Labels = std::vector<std::pair<std::string, std::string>>;

Labels device_labels(const DeviceSnapshot& d) {
    if (!d.several || d.address < 0) return {};
    return {{"adr", std::to_string(d.address)}};
}

Labels with(Labels labels, const Labels& more) {
    labels.insert(labels.end(), more.begin(), more.end());
    return labels;
}

// The families of the catalogue's values, in record order, without samples;
// `index` maps each value entry to its family.
struct ValueFamilies {
    std::vector<MetricFamily> families;
    std::vector<std::size_t> index;
};

const ValueFamilies& value_families() {
    static const ValueFamilies v = [] {
        ValueFamilies out;
        const auto& cat = smdcatalogue::Catalogue::get();
        std::map<std::string, std::size_t> by_metric;
        for (const auto& e : cat.values()) {
            auto it = by_metric.find(e.metric);
            if (it == by_metric.end()) {
                MetricFamily f;
                f.name = e.metric;
                const auto& fam = cat.value_families()[e.family];
                f.help = fam.description + (e.unit.empty() ? "" : " (" + e.unit + ")") +
                         "; catalogue " + fam.pattern + ".";
                it = by_metric.emplace(e.metric, out.families.size()).first;
                out.families.push_back(std::move(f));
            }
            out.index.push_back(it->second);
        }
        return out;
    }();
    return v;
}

}  // namespace

std::string metrics_page(const std::vector<DeviceSnapshot>& devices, SteadyTime now) {
    MetricFamily up{"pxr52_up", "1 while records arrive, 0 once none came for 61 s (or none yet).",
                    MetricType::gauge, {}};
    MetricFamily last{"pxr52_last_record_timestamp_seconds",
                      "Host clock when the last record was published, seconds since the epoch.",
                      MetricType::gauge, {}};
    MetricFamily records{"pxr52_records_total", "Records published by the plug-in.", MetricType::counter, {}};
    MetricFamily cycles{"pxr52_cycles_total",
                        "Interrogation cycles heard on the line, by result (published or dropped).",
                        MetricType::counter, {}};
    MetricFamily bad{"pxr52_frames_bad_total", "Frames lost to a framing fault, by fault.",
                     MetricType::counter, {}};
    MetricFamily alarms{"pxr52_alarm_active", "1 for every active host alarm, by signal id and host key.",
                        MetricType::gauge, {}};
    std::vector<MetricFamily> values = value_families().families;
    const auto& entries = smdcatalogue::Catalogue::get().values();

    for (const DeviceSnapshot& d : devices) {
        const Labels dev = device_labels(d);
        const bool current = !d.stale(now);
        up.samples.push_back({dev, current ? 1.0 : 0.0});
        if (!d.record.empty()) last.samples.push_back({dev, d.record_at});
        records.samples.push_back({dev, static_cast<double>(d.records)});
        cycles.samples.push_back({with(dev, {{"result", "published"}}), static_cast<double>(d.published)});
        cycles.samples.push_back({with(dev, {{"result", "dropped"}}), static_cast<double>(d.dropped)});
        for (int k = 0; k < smdobserver::kFaultKinds; ++k)
            bad.samples.push_back(
                {with(dev, {{"reason", smdhost::frame_fault_name(static_cast<smdhost::FrameFault>(k))}}),
                 static_cast<double>(d.bad_frames[static_cast<std::size_t>(k)])});
        for (const auto& a : d.alarms) alarms.samples.push_back({with(dev, {{"id", a.id}, {"key", a.key}}), 1.0});
        if (!current) continue;
        for (std::size_t k = 0; k < entries.size(); ++k) {
            const auto r = smdcatalogue::read_value(entries[k], d.record.data(), d.record.size());
            if (!r.present || !r.valid) continue;
            // A float as its shortest text: 53.45, not 53.450000762939453.
            const double v = entries[k].type == smdcatalogue::ValueType::f32 ? std::stod(r.text) : r.number;
            values[value_families().index[k]].samples.push_back({with(dev, entries[k].labels), v});
        }
    }

    std::vector<MetricFamily> all{std::move(up), std::move(last), std::move(records), std::move(cycles),
                                  std::move(bad), std::move(alarms)};
    for (auto& f : values) all.push_back(std::move(f));
    return smdmetrics::render_exposition(all);
}

}  // namespace smdmonitor
