// --format json: one JSON object per line on standard output.
#pragma once

#include <cstddef>
#include <string>

#include "tools/common/hex_codec.hpp"
#include "tools/smdhost/session/events.hpp"

namespace smdevents {

// JSON string literal of `text`: quotes, backslashes and control characters
// escaped; bytes that are not valid UTF-8 become U+FFFD, so the line is
// always valid JSON whatever the plug-in printed.
std::string json_string(const std::string& text);
// %.9g; "nan", "inf", "-inf" (as JSON strings) for non-finite values.
std::string json_float(float v);
// Upper-case hex of `len` bytes: the tools' one hex codec.
inline std::string hex_upper(const unsigned char* data, std::size_t len) {
    return hexcodec::upper(data, len);
}

// Every line ends with "t", the host clock when it was written (ISO 8601
// local time with milliseconds and offset). The line observer's "cycle" and
// "line" events are written only with `diagnostics` (--diagnostics), so a
// consumer of the plain event table never meets a kind it does not know;
// its notes on the line's silence then go to standard error.
class JsonSink : public EventSink {
public:
    // Notices go to standard error: standard output carries events only.
    JsonSink(smdout::Output& out, bool diagnostics) : out_(out), diagnostics_(diagnostics) {}

    // One of several devices on the line: every event carries "adr" (the
    // device address, a number) before "t"; its notices name the device.
    void set_address(int adr);

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
    // `open`: an event without its closing brace; "t" and the brace are
    // added and the line written.
    void emit(std::string open);
    // iso_time of the host clock now, kept while the clock stands still.
    const std::string& stamp();

    smdout::Output& out_;
    bool diagnostics_;
    int adr_ = -1;
    std::string adr_member_;  // ,"adr":N or empty
    double stamp_at_ = -1.0;
    bool stamp_made_ = false;
    std::string stamp_;
};

}  // namespace smdevents
