#include "tools/smdhost/session/events.hpp"

#include <algorithm>

namespace smdevents {

EventSink::~EventSink() = default;

void EventHub::remove_observer(EventSink& observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), &observer), observers_.end());
}

void EventHub::pump_logs(bool final) {
    if (capture_ == nullptr) return;
    capture_->drain([this](const std::string& line) {
        sink_.log(line);
        for (EventSink* o : observers_) o->log(line);
    }, final);
}

void EventHub::on_event(const smdhost::HostEvent& e) {
    pump_logs();
    if (tap_) tap_(e);
    sink_.host_event(e);
    for (EventSink* o : observers_) o->host_event(e);
}

void EventHub::call(const std::string& op, int result, const std::string& error) {
    pump_logs();
    sink_.call(op, result, error);
    for (EventSink* o : observers_) o->call(op, result, error);
}

void EventHub::value(const std::string& name, bool ok, float value, const std::string& error) {
    pump_logs();
    sink_.value(name, ok, value, error);
    for (EventSink* o : observers_) o->value(name, ok, value, error);
}

void EventHub::ioctl(int code, int result, std::int32_t out, int out_len) {
    pump_logs();
    sink_.ioctl(code, result, out, out_len);
    for (EventSink* o : observers_) o->ioctl(code, result, out, out_len);
}

void EventHub::notice(const std::string& text) {
    pump_logs();
    sink_.notice(text);
    for (EventSink* o : observers_) o->notice(text);
}

void EventHub::observers_notice(const std::string& text) {
    for (EventSink* o : observers_) o->notice(text);
}

void EventHub::cycle(const smdobserver::CycleReport& report) {
    pump_logs();
    sink_.cycle(report);
    for (EventSink* o : observers_) o->cycle(report);
}

void EventHub::line_note(const smdobserver::LineNote& note) {
    pump_logs();
    sink_.line_note(note);
    for (EventSink* o : observers_) o->line_note(note);
}

void EventHub::line_summary(const smdobserver::LineTotals& totals) {
    pump_logs();
    sink_.line_summary(totals);
    for (EventSink* o : observers_) o->line_summary(totals);
}

void EventHub::frame_dissected(const std::string& text) {
    pump_logs();
    sink_.frame_dissected(text);
    for (EventSink* o : observers_) o->frame_dissected(text);
}

void EventHub::flush() {
    pump_logs();
    sink_.flush();
    for (EventSink* o : observers_) o->flush();
}

}  // namespace smdevents
