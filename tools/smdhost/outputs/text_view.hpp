// --format text: what a person watching the line wants to see, at 80-100
// columns. One aligned block per published round, headed by the cycle it
// came in (cycles numbered as they happened on the line), its values
// labelled with the signal catalogue's names and units; one line per
// dropped cycle with its reason; a line-health line when bad frames came
// since the cycle before, and when the line goes silent or comes back; the
// alarms raised and cleared; a summary of the line at the end. With
// --verbose, also every frame dissected and the plug-in's log.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tools/smdhost/session/events.hpp"

namespace smdevents {

// The summary block of one published record (1257 bytes; anything else gives
// a one-line complaint). `header` starts the block. Lines end with '\n'.
//
//   cycle 2  2026-01-01 00:00:06  data id 1
//     ac.1          a  222.6 V  b  220.0 V  c  221.3 V  frequency  49.98 Hz
//     ac.current    a    2.8 A  b    2.7 A  c    2.8 A
//     rect          count 6  voltage  53.55 V  M.current sum   31.2 A  no fault
//     dc.1          voltage  53.50 V  current   30.7 A
//     dc.1.battery  1.current    0.2 A  2.current    0.2 A
//
// Each label and its value's word make the value's catalogue name
// ("dc.1" + "voltage"); a reading the plant reported invalid (the
// invalid-value marker where the record keeps it, NaN) shows as "invalid".
std::string format_round(const std::string& header, const unsigned char* record,
                         std::size_t len);

class TextSink : public EventSink {
public:
    TextSink(smdout::Output& out, bool verbose) : out_(out), verbose_(verbose) {}

    // The device whose host alarm state is shown (set once it exists).
    void set_device(const SMDVDevice* device) { device_ = device; }
    // One of several devices on the line: every line shown starts with
    // `prefix` ("adr 2 id 7 | ").
    void set_prefix(std::string prefix) { prefix_ = std::move(prefix); }
    // The header of the next round block ("cycle 7"); without it, "record".
    void set_round_label(std::function<std::string()> label) { label_ = std::move(label); }

    void host_event(const smdhost::HostEvent& e) override;
    void call(const std::string& op, int result, const std::string& error) override;
    void value(const std::string& name, bool ok, float value, const std::string& error) override;
    void ioctl(int code, int result, std::int32_t out, int out_len) override;
    void log(const std::string& line) override;
    void notice(const std::string& text) override;
    void cycle(const smdobserver::CycleReport& report) override;
    void line_note(const smdobserver::LineNote& note) override;
    void line_summary(const smdobserver::LineTotals& totals) override;
    void frame_dissected(const std::string& text) override;
    void flush() override;

private:
    struct AlarmText {
        std::string text1;
        std::string text2;
    };

    void line(const std::string& text);
    // Alarm lines for the difference between the host's alarm state and
    // what was last shown; updates what was shown.
    std::vector<std::string> alarm_changes();
    void show_round();

    smdout::Output& out_;
    bool verbose_;
    const SMDVDevice* device_ = nullptr;
    std::function<std::string()> label_;
    std::string prefix_;
    bool in_round_ = false;            // between a publish and its history
    std::vector<unsigned char> record_;
    std::map<std::string, int> shown_;  // alarm key -> level, as last shown
    std::map<std::string, AlarmText> texts_;
};

}  // namespace smdevents
