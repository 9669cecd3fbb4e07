// /events: the device's events as server-sent events, each the JSON object
// that --format json writes (with the same --diagnostics), one per "data:"
// line. Nothing is formatted while no stream is open; a client that falls
// behind is dropped by the hub (outputs/http/sse_hub.hpp), never waited for.
#pragma once

#include "tools/smdhost/outputs/http/sse_hub.hpp"
#include "tools/smdhost/outputs/json_events.hpp"
#include "tools/smdhost/session/events.hpp"
#include "tools/smdhost/session/output.hpp"

namespace smdmonitor {

class EventStream : public smdevents::EventSink {
public:
    EventStream(smdhttp::SseHub& hub, bool diagnostics);

    void host_event(const smdhost::HostEvent& e) override {
        if (live()) json_.host_event(e);
    }
    void call(const std::string& op, int result, const std::string& error) override {
        if (live()) json_.call(op, result, error);
    }
    void value(const std::string& name, bool ok, float v, const std::string& error) override {
        if (live()) json_.value(name, ok, v, error);
    }
    void ioctl(int code, int result, std::int32_t out, int out_len) override {
        if (live()) json_.ioctl(code, result, out, out_len);
    }
    void log(const std::string& line) override {
        if (live()) json_.log(line);
    }
    void notice(const std::string&) override {}
    void cycle(const smdobserver::CycleReport& report) override {
        if (live()) json_.cycle(report);
    }
    void line_note(const smdobserver::LineNote&) override {}
    void line_summary(const smdobserver::LineTotals& totals) override {
        if (live()) json_.line_summary(totals);
    }
    void frame_dissected(const std::string&) override {}
    void flush() override {}

private:
    bool live() const { return hub_.has_clients(); }

    smdhttp::SseHub& hub_;
    smdout::Output out_;
    smdevents::JsonSink json_;
};

}  // namespace smdmonitor
