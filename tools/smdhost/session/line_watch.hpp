// LineWatch: the line observer (tools/smdhost/observer/) beside a session's
// device. It hears every frame through the protocol engine's tap, after the
// device, is told of every record the plug-in publishes, and hands its
// reports to the session's events: the "cycle" and "line" events (JSON with
// --diagnostics), the text view's cycle, line-health and summary lines, and
// with -v every frame dissected.
//
// The inputs drive it: before each process() call they say where its bytes
// come from (at_line / at_offset) and how many came (bytes); after the clock
// moves, tick(); at the end, finish().
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "host/pmbus_protocol.hpp"
#include "tools/smdhost/observer/line_observer.hpp"
#include "tools/smdhost/observer/observer_tap.hpp"
#include "tools/smdhost/session/events.hpp"

namespace smdsession {

class LineWatch : public smdobserver::ObserverSink {
public:
    // Attaches itself as the protocol engine's frame tap; `dissect`: -v in
    // the text view.
    LineWatch(smdevents::EventHub& hub, PMBusProtocol& protocol, bool dissect);
    ~LineWatch() override;
    LineWatch(const LineWatch&) = delete;
    LineWatch& operator=(const LineWatch&) = delete;

    // The frames ended by the next process() call come from this scenario
    // line, or from the stream whose byte `offset` is the call's first.
    void at_line(const std::string& file, int line) { tap_.at_line(file, line); }
    void at_offset(unsigned long long offset) { tap_.at_offset(offset); }
    // `n` bytes came off the line at the host clock's now.
    void bytes(std::size_t n);
    // The clock moved: a silence is reported once it is long enough.
    void tick();
    // The plug-in published a record (SendSP). A cached record handed back
    // (LoadFromCache, while set_loading) is not a round of the line.
    void published();
    void set_loading(bool on) { loading_ = on; }
    // A scripted process_error (!error): the device forgot the awaited command.
    void device_error() { observer_.device_error(); }
    // End of input, or listen stopped: closes the cycle in progress and
    // reports the line's totals, the alarms still active among them. Once.
    void finish();

    // Several devices: which frames this one dissects (-v), see
    // ObserverTap::set_dissection_scope.
    void set_dissection_scope(bool others, bool bad) { tap_.set_dissection_scope(others, bad); }
    // Several devices: the frames of addresses without a device, which the
    // totals carry (owned by the session, read at finish()).
    void set_no_device(const std::map<int, unsigned long long>* counts) { no_device_ = counts; }

    // The text view's header of a round block: "cycle 7" within a cycle,
    // "record" for one published outside any.
    std::string round_label() const;

    void cycle(const smdobserver::CycleReport& report) override { hub_.cycle(report); }
    void line_note(const smdobserver::LineNote& note) override { hub_.line_note(note); }

private:
    smdevents::EventHub& hub_;
    PMBusProtocol& protocol_;
    smdobserver::LineObserver observer_;
    smdobserver::ObserverTap tap_;
    const std::map<int, unsigned long long>* no_device_ = nullptr;
    bool loading_ = false;
    bool finished_ = false;
};

}  // namespace smdsession
