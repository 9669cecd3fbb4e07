// Events of a bench-host session: every call of the plug-in into the host
// (smdhost::HostEvent), the results of the calls smdhost makes into the
// plug-in, and the plug-in's log lines. A sink turns them into output (JSON
// lines or the text view); the hub puts captured log lines ahead of whatever
// event follows them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/host_event.hpp"
#include "tools/smdhost/observer/line_report.hpp"
#include "tools/smdhost/session/output.hpp"

class SMDVDevice;

namespace smdevents {

class EventSink {
public:
    virtual ~EventSink();

    // A call of the plug-in into the host.
    virtual void host_event(const smdhost::HostEvent& e) = 0;
    // InitSetting, RefreshStatus, Reset, LoadFromCache and the like: `op`
    // names the call; `error` is non-empty when it threw.
    virtual void call(const std::string& op, int result, const std::string& error) = 0;
    // Get_Value: the value, or the text of the exception.
    virtual void value(const std::string& name, bool ok, float value,
                       const std::string& error) = 0;
    // DeviceIoControl; `out` counts only when out_len is not 0.
    virtual void ioctl(int code, int result, std::int32_t out, int out_len) = 0;
    // One line the plug-in printed.
    virtual void log(const std::string& line) = 0;
    // Something the bench host itself has to say (listen: device lost/back).
    virtual void notice(const std::string& text) = 0;
    // The line observer's reports (session/line_watch.hpp): a cycle ended,
    // the line went silent or came back, the run's totals at its end.
    virtual void cycle(const smdobserver::CycleReport& report) = 0;
    virtual void line_note(const smdobserver::LineNote& note) = 0;
    virtual void line_summary(const smdobserver::LineTotals& totals) = 0;
    // -v: one frame dissected, lines carrying their own clock and position.
    virtual void frame_dissected(const std::string& text) = 0;
    // End of a batch of work (live use shows it at once).
    virtual void flush() = 0;
};

class EventHub : public smdhost::HostListener {
public:
    EventHub(EventSink& sink, smdout::LogCapture* capture) : sink_(sink), capture_(capture) {}

    // Sees every host event before the sink writes it (the history store:
    // a record whose event was written has been stored).
    using Tap = std::function<void(const smdhost::HostEvent&)>;
    void set_tap(Tap tap) { tap_ = std::move(tap); }
    // Further sinks that see every event after the main one, in the order
    // added (the monitor outputs). The hub does not own them; they must
    // outlive it or be removed before they go.
    void add_observer(EventSink& observer) { observers_.push_back(&observer); }
    void remove_observer(EventSink& observer);

    void on_event(const smdhost::HostEvent& e) override;
    void call(const std::string& op, int result, const std::string& error = std::string());
    void value(const std::string& name, bool ok, float value, const std::string& error);
    void ioctl(int code, int result, std::int32_t out, int out_len);
    void notice(const std::string& text);
    // A notice about the whole line that the session has written once on
    // the main output (several devices): only the observers see it here.
    void observers_notice(const std::string& text);
    void cycle(const smdobserver::CycleReport& report);
    void line_note(const smdobserver::LineNote& note);
    void line_summary(const smdobserver::LineTotals& totals);
    void frame_dissected(const std::string& text);
    // Turns the captured output into log events; `final` also passes a last
    // unfinished line.
    void pump_logs(bool final = false);
    void flush();

private:
    EventSink& sink_;
    smdout::LogCapture* capture_;
    Tap tap_;
    std::vector<EventSink*> observers_;
};

}  // namespace smdevents
