// What the monitor outputs know of one device: its last published record,
// its active alarms, the health of its line (cycles, bad frames, silence)
// and when the last record came. An observer on the device's event hub
// (session/device_ref.hpp), fed on the line's thread; the HTTP handlers read
// copies (snapshot()) on theirs. The lock is held only to update a few
// members or to copy them, never while anything is written to a client, so
// a slow client cannot hold up the line.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "tools/smdhost/observer/line_report.hpp"
#include "tools/smdhost/session/alarm_tracker.hpp"
#include "tools/smdhost/session/device_ref.hpp"
#include "tools/smdhost/session/events.hpp"

namespace smdmonitor {

// No record for this long and the values are stale: the plug-in's own
// look-up horizon.
constexpr double kStaleAfterSeconds = 61.0;
// Dropped cycles kept for the line view.
constexpr std::size_t kRecentDrops = 20;

using SteadyTime = std::chrono::steady_clock::time_point;

struct DroppedCycle {
    unsigned long long n = 0;
    double t = 0;  // host clock at the cycle's start
    std::string reason;
};

struct DeviceSnapshot {
    int address = -1;  // -1: the device takes every address
    std::uint32_t data_id = 0;
    bool several = false;
    // The two device settings that decide what a rectifier's state bytes
    // mean ("appSetting"."b_mode" and "open_41_43", read as the device reads
    // them; their defaults without a configuration).
    int b_mode = 1;
    int open_41_43 = 0;

    // Host clock at the last event, and when that was on this machine's
    // steady clock: the host clock now is host_clock + (steady now - host_clock_seen).
    double host_clock = 0;
    SteadyTime host_clock_seen{};

    std::vector<unsigned char> record;  // the last published record; empty before the first
    double record_at = 0;               // host clock when it was published
    SteadyTime record_seen{};           // steady clock when it was published
    unsigned long long records = 0;     // records published

    std::vector<smdsession::ActiveAlarm> alarms;  // active now, newest first

    unsigned long long cycles = 0;  // interrogation cycles ended
    unsigned long long published = 0;
    unsigned long long dropped = 0;
    std::array<unsigned long long, smdobserver::kFaultKinds> bad_frames{};  // by smdhost::FrameFault
    std::deque<DroppedCycle> recent_drops;  // newest first
    bool silent = false;
    double longest_silence = 0;  // seconds, of the silences that ended

    // Seconds since the last record on this machine's clock (a replay's
    // simulated clock does not count); negative before the first record.
    double age(SteadyTime now) const;
    bool stale(SteadyTime now) const { return record.empty() || age(now) >= kStaleAfterSeconds; }
    double host_now(SteadyTime now) const;
};

class DeviceMonitor : public smdevents::EventSink {
public:
    explicit DeviceMonitor(const smdsession::DeviceRef& ref);

    DeviceSnapshot snapshot() const;
    const smdsession::DeviceRef& ref() const { return ref_; }

    void host_event(const smdhost::HostEvent& e) override;
    void call(const std::string&, int, const std::string&) override { touch(); }
    void value(const std::string&, bool, float, const std::string&) override {}
    void ioctl(int, int, std::int32_t, int) override {}
    void log(const std::string&) override {}
    void notice(const std::string&) override {}
    void cycle(const smdobserver::CycleReport& report) override;
    void line_note(const smdobserver::LineNote& note) override;
    void line_summary(const smdobserver::LineTotals& totals) override;
    void frame_dissected(const std::string&) override {}
    void flush() override { touch(); }

private:
    void touch();  // the host clock moved: under the lock

    smdsession::DeviceRef ref_;
    smdsession::AlarmTracker tracker_;  // line thread only
    mutable std::mutex mutex_;
    DeviceSnapshot state_;
};

}  // namespace smdmonitor
