// --format text: what a person watching the line wants to see. One aligned
// block per published round (AC inputs, rectifiers, DC screens, alarms raised
// and cleared since the round before), one line per error, call result or
// control command. With --verbose, also every frame and the plug-in's log.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/smdhost/session/events.hpp"

namespace smdevents {

// The summary block of one published record (1257 bytes; anything else gives
// a one-line complaint). `header` starts the block. Lines end with '\n'.
std::string format_round(const std::string& header, const unsigned char* record,
                         std::size_t len);

class TextSink : public EventSink {
public:
    TextSink(smdout::Output& out, bool verbose) : out_(out), verbose_(verbose) {}

    // The device whose host alarm state is shown (set once it exists).
    void set_device(const SMDVDevice* device) { device_ = device; }

    void host_event(const smdhost::HostEvent& e) override;
    void call(const std::string& op, int result, const std::string& error) override;
    void value(const std::string& name, bool ok, float value, const std::string& error) override;
    void ioctl(int code, int result, std::int32_t out, int out_len) override;
    void log(const std::string& line) override;
    void notice(const std::string& text) override;
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
    unsigned rounds_ = 0;
    bool in_round_ = false;            // between a publish and its history
    std::vector<unsigned char> record_;
    unsigned bad_frames_ = 0;          // since the last round
    std::map<std::string, int> shown_;  // alarm key -> level, as last shown
    std::map<std::string, AlarmText> texts_;
};

}  // namespace smdevents
