// Records the devices published, counted beside the other outputs: what
// listen tells systemd as its STATUS ("... 1234 records, the last at ...").
#pragma once

#include <cstdint>
#include <string>

#include "tools/smdhost/session/events.hpp"

namespace smdevents {

class RecordCount : public EventSink {
public:
    // Every device's data records so far, and the host clock of the last
    // one (0 before any).
    std::uint64_t records() const { return records_; }
    double last() const { return last_; }
    // "no record yet", "1 record, the last at 2026-12-09T12:00:01.000+00:00".
    std::string text() const;

    void host_event(const smdhost::HostEvent& e) override;
    void call(const std::string&, int, const std::string&) override {}
    void value(const std::string&, bool, float, const std::string&) override {}
    void ioctl(int, int, std::int32_t, int) override {}
    void log(const std::string&) override {}
    void notice(const std::string&) override {}
    void cycle(const smdobserver::CycleReport&) override {}
    void line_note(const smdobserver::LineNote&) override {}
    void line_summary(const smdobserver::LineTotals&) override {}
    void frame_dissected(const std::string&) override {}
    void flush() override {}

private:
    std::uint64_t records_ = 0;
    double last_ = 0.0;
};

}  // namespace smdevents
