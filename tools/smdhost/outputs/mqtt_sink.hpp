// --mqtt: the topics of one device, fed from its events (an observer of
// the device's event hub).
//
//   ROOT/status        "online" | "stale" | "offline" (the publisher's)
//   ROOT/value/NAME    each catalogue value a record holds, as text
//                      ("53.5", "invalid", "2026-01-01T00:00:06")
//   ROOT/alarm/ID      {"active":B,"level":L,"text":"..."}: when the host
//                      first evaluates the id, and on every change
//   ROOT/record        the record as one JSON object of named values
//
// Staleness follows the host clock (simulated in replay): "stale" once no
// current record came for kStaleAfter seconds, checked on every event and
// flush. A record whose own time stamp is that far behind the clock (one
// handed back from a cache) is no news and publishes nothing. The first
// current record after a stale period publishes every topic again.
//
// Values are handed to the publisher only when their text changed (the
// broker retains the last one), so a steady plant costs little; a value
// the record no longer holds (a module gone) has its retained message
// removed. A record is turned into payloads as a batch of the publisher
// (MqttPublisher::set_batch_maker), on its thread, when they would go out
// at once; until then the newest record waits and replaces the one before
// it, so a replay far faster than the broker spends nothing on records
// whose values would be overwritten unsent, and the line never waits for
// the conversion. The alarms and the status go at once.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tools/smdhost/outputs/mqtt/mqtt_publisher.hpp"
#include "tools/smdhost/session/events.hpp"

class SMDVDevice;

namespace smdevents {

// Seconds without a record after which the values are stale: the horizon
// of the plug-in's own look-up of the last record.
constexpr double kStaleAfter = 61.0;

class MqttSink : public EventSink {
public:
    // `device` is read for the host's alarm state after each batch; it must
    // outlive the sink's use. Throws as MqttPublisher does.
    MqttSink(smdmqtt::PublisherOptions options, const SMDVDevice& device);
    ~MqttSink() override;  // stop()

    void start() { publisher_.start(); }
    // The waiting record goes, then the publisher drains and says
    // "offline" (MqttPublisher::stop).
    void stop() { publisher_.stop(); }
    const smdmqtt::MqttPublisher& publisher() const { return publisher_; }

    void host_event(const smdhost::HostEvent& e) override;
    void call(const std::string&, int, const std::string&) override { check_stale(); }
    void value(const std::string&, bool, float, const std::string&) override {}
    void ioctl(int, int, std::int32_t, int) override {}
    void log(const std::string&) override {}
    // A device left out of the run (its InitSetting threw) says "offline".
    void notice(const std::string& text) override;
    void cycle(const smdobserver::CycleReport&) override {}
    void line_note(const smdobserver::LineNote&) override {}
    void line_summary(const smdobserver::LineTotals&) override {}
    void frame_dissected(const std::string&) override {}
    void flush() override { check_stale(); }

private:
    struct Alarm {
        std::string text1, text2;  // as last passed with the id
        bool known = false;        // published at least once
        bool active = false;
        int level = 0;             // while active the host's; after, the last one
    };

    void check_stale();
    void record(const std::vector<unsigned char>& bytes);
    // The batch: the waiting record's payloads (the publisher's thread).
    void publish_pending();
    void alarms_evaluated();
    void publish_alarm(const std::string& id, const Alarm& a);

    const SMDVDevice& device_;
    // The line's thread only.
    double last_record_;  // host clock of the last current record (or of the start)
    bool stale_ = false;
    std::map<std::string, Alarm> alarms_;  // by signal id

    // Shared with the batch; held while a batch runs, so that a stale
    // status never follows values of a record before it.
    std::mutex mutex_;
    std::vector<unsigned char> pending_;  // the newest record not yet published; empty: none
    bool resend_ = false;                 // the next batch publishes every value again
    // Per catalogue value, the text last handed over ("" none, or removed).
    std::vector<std::string> sent_;

    // Last: its thread, which runs the batches, ends before the rest goes.
    smdmqtt::MqttPublisher publisher_;
};

}  // namespace smdevents
