#include "tools/smdhost/outputs/mqtt_sink.hpp"

#include "host/sim_clock.hpp"
#include "host/smd_vdevice.hpp"
#include "tools/smdhost/catalogue/catalogue.hpp"
#include "tools/smdhost/catalogue/value_reading.hpp"
#include "tools/smdhost/outputs/alarm_text.hpp"
#include "tools/smdhost/outputs/json_events.hpp"

namespace smdevents {

namespace {

namespace cat = smdcatalogue;
using smdhost::HostEvent;

// The data record's type in SendSP.
constexpr int kRecordType = 5535;

// The value as a JSON member value: numbers as they read, a time as its
// text, an invalid reading as null.
void append_json_value(std::string& out, const cat::ValueEntry& entry, const cat::Reading& r) {
    if (!r.valid) {
        out += "null";
    } else if (entry.type == cat::ValueType::time) {
        out += json_string(r.text);
    } else {
        out += r.text;
    }
}

}  // namespace

MqttSink::MqttSink(smdmqtt::PublisherOptions options, const SMDVDevice& device)
    : device_(device),
      last_record_(smdhost::sim_clock::now()),
      sent_(cat::Catalogue::get().values().size()),
      publisher_(std::move(options)) {
    publisher_.set_batch_maker([this] { publish_pending(); });
}

MqttSink::~MqttSink() { stop(); }

void MqttSink::host_event(const HostEvent& e) {
    switch (e.kind) {
        case HostEvent::Kind::publish:
            if (e.code == kRecordType) record(e.bytes);
            break;
        case HostEvent::Kind::alarm: {
            Alarm& a = alarms_[e.id];
            a.text1 = e.text1;
            a.text2 = e.text2;
            // The level it is raised at: passed, or the host's level map's.
            if (!a.active) {
                const auto graded = device_.level_map.find(e.id);
                a.level = e.level != 0 ? e.level
                                       : graded != device_.level_map.end() ? graded->second : 0;
            }
            break;
        }
        case HostEvent::Kind::batch:
            alarms_evaluated();
            break;
        default:
            break;
    }
    check_stale();
}

void MqttSink::notice(const std::string& text) {
    if (text.compare(0, 19, "left out of the run") == 0) stop();
}

void MqttSink::check_stale() {
    if (stale_ || smdhost::sim_clock::now() - last_record_ < kStaleAfter) return;
    stale_ = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        publisher_.set_status(smdmqtt::Status::stale);
        // What the broker holds is no longer current: everything goes
        // again with the next record.
        pending_.clear();
        resend_ = true;
    }
    for (auto& a : alarms_) a.second.known = false;
}

void MqttSink::record(const std::vector<unsigned char>& bytes) {
    static const cat::ValueEntry* const stamp = cat::Catalogue::get().find_value("record.time");
    const unsigned char* data = bytes.data();
    const std::size_t size = bytes.size();
    if (size != cat::kRecordSize) return;
    const double now = smdhost::sim_clock::now();
    if (stamp != nullptr) {
        const cat::Reading t = cat::read_value(*stamp, data, size);
        if (t.valid && now - t.number >= kStaleAfter) return;
    }
    last_record_ = now;
    if (stale_) {
        // The alarms go again with the batch that follows the record.
        stale_ = false;
        publisher_.set_status(smdmqtt::Status::online);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.assign(data, data + size);
    }
    publisher_.request_batch();
}

void MqttSink::publish_pending() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_.empty()) return;
    if (resend_)
        for (std::string& s : sent_) s.clear();
    resend_ = false;
    const unsigned char* data = pending_.data();
    const std::size_t size = pending_.size();
    const auto& values = cat::Catalogue::get().values();
    std::string json = "{";
    for (std::size_t k = 0; k < values.size(); ++k) {
        const cat::ValueEntry& entry = values[k];
        std::string& sent = sent_[k];
        if (!cat::is_present(entry, data, size)) {
            // A value the record stopped holding leaves the broker too (an
            // empty retained message removes the retained one).
            if (!sent.empty()) {
                sent.clear();
                publisher_.publish(cat::mqtt_topic(entry), std::string());
            }
            continue;
        }
        const cat::Reading r = cat::read_value(entry, data, size);
        if (json.size() > 1) json += ',';
        json += '"';
        json += entry.name;
        json += "\":";
        append_json_value(json, entry, r);
        // An empty text (a time never stamped) removes the value as well.
        if (r.text != sent) {
            sent = r.text;
            publisher_.publish(cat::mqtt_topic(entry), r.text);
        }
    }
    json += '}';
    publisher_.publish("record", json);
    pending_.clear();
}

void MqttSink::alarms_evaluated() {
    // The host's state after the batch, by id (several keys may share one:
    // active when any is, at the highest level).
    std::map<std::string, int> active;
    for (const auto& entry : device_.active_alarms) {
        const std::size_t split = entry.first.find('\x1f');
        const std::string id =
            split == std::string::npos ? entry.first : entry.first.substr(split + 1);
        int& level = active[id];
        if (entry.second > level) level = entry.second;
    }
    for (auto& [id, a] : alarms_) {
        const auto it = active.find(id);
        const bool now_active = it != active.end();
        const int level = now_active ? it->second : a.level;
        if (a.known && now_active == a.active && level == a.level) continue;
        a.known = true;
        a.active = now_active;
        a.level = level;
        publish_alarm(id, a);
    }
}

void MqttSink::publish_alarm(const std::string& id, const Alarm& a) {
    publisher_.publish("alarm/" + id, std::string("{\"active\":") + (a.active ? "true" : "false") +
                                          ",\"level\":" + std::to_string(a.level) + ",\"text\":" +
                                          json_string(alarm_text(id, a.text1, a.text2)) + "}");
}

}  // namespace smdevents
