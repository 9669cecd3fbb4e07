#include "tools/smdhost/outputs/monitor/device_monitor.hpp"

#include <algorithm>

#include <json/value.h>

#include "config/config_text.hpp"
#include "host/frame_codec.hpp"
#include "host/sim_clock.hpp"
#include "host/smd_spdevice.hpp"

namespace smdmonitor {

namespace {

double seconds_between(SteadyTime from, SteadyTime to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

double DeviceSnapshot::age(SteadyTime now) const {
    return record.empty() ? -1.0 : seconds_between(record_seen, now);
}

double DeviceSnapshot::host_now(SteadyTime now) const {
    return host_clock + seconds_between(host_clock_seen, now);
}

DeviceMonitor::DeviceMonitor(const smdsession::DeviceRef& ref) : ref_(ref) {
    state_.address = ref.address;
    state_.data_id = ref.data_id;
    state_.several = ref.several;
    if (ref.config != nullptr) {
        const Json::Value& app = pxr52::member_of(*ref.config, "appSetting");
        if (app.isObject()) {
            pxr52::read_int_setting(app, "b_mode", state_.b_mode);
            pxr52::read_int_setting(app, "open_41_43", state_.open_41_43);
        }
    }
    state_.host_clock = smdhost::sim_clock::now();
    state_.host_clock_seen = std::chrono::steady_clock::now();
}

DeviceSnapshot DeviceMonitor::snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

void DeviceMonitor::touch() {
    const double now = smdhost::sim_clock::now();
    const auto seen = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    state_.host_clock = now;
    state_.host_clock_seen = seen;
}

void DeviceMonitor::host_event(const smdhost::HostEvent& e) {
    using Kind = smdhost::HostEvent::Kind;
    const double now = smdhost::sim_clock::now();
    smdsession::AlarmChanges changes;
    if (e.kind == Kind::batch && ref_.device != nullptr)
        changes = tracker_.on_event(e, ref_.device->active_alarms, ref_.device->rule_values, now);
    // The rules of a round change nothing shown until their batch.
    if (e.kind == Kind::alarm || e.kind == Kind::threshold || e.kind == Kind::report) return;
    const auto seen = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    state_.host_clock = now;
    state_.host_clock_seen = seen;
    switch (e.kind) {
        case Kind::publish:
            state_.record = e.bytes;
            state_.record_at = now;
            state_.record_seen = seen;
            ++state_.records;
            break;
        case Kind::frame_error:
            for (int k = 0; k < smdobserver::kFaultKinds; ++k)
                if (e.text1 == smdhost::frame_fault_name(static_cast<smdhost::FrameFault>(k)))
                    ++state_.bad_frames[static_cast<std::size_t>(k)];
            break;
        case Kind::batch:
            if (!changes.empty()) {
                state_.alarms.clear();
                for (const auto& [key, a] : tracker_.active()) state_.alarms.push_back(a);
                std::stable_sort(state_.alarms.begin(), state_.alarms.end(),
                                 [](const auto& a, const auto& b) { return a.since > b.since; });
            }
            break;
        default:
            break;
    }
}

void DeviceMonitor::cycle(const smdobserver::CycleReport& report) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++state_.cycles;
    if (report.published) {
        ++state_.published;
    } else {
        ++state_.dropped;
        state_.recent_drops.push_front({report.n, report.start, report.reason});
        if (state_.recent_drops.size() > kRecentDrops) state_.recent_drops.pop_back();
    }
}

void DeviceMonitor::line_note(const smdobserver::LineNote& note) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.silent = note.kind == smdobserver::LineNote::Kind::silent;
    if (note.kind == smdobserver::LineNote::Kind::back)
        state_.longest_silence = std::max(state_.longest_silence, note.seconds);
}

void DeviceMonitor::line_summary(const smdobserver::LineTotals& totals) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.longest_silence = std::max(state_.longest_silence, totals.longest_silence);
}

}  // namespace smdmonitor
