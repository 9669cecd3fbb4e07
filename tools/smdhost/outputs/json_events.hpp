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

class JsonSink : public EventSink {
public:
    // Notices go to standard error: standard output carries events only.
    explicit JsonSink(smdout::Output& out) : out_(out) {}

    void host_event(const smdhost::HostEvent& e) override;
    void call(const std::string& op, int result, const std::string& error) override;
    void value(const std::string& name, bool ok, float value, const std::string& error) override;
    void ioctl(int code, int result, std::int32_t out, int out_len) override;
    void log(const std::string& line) override;
    void notice(const std::string& text) override;
    void flush() override;

private:
    smdout::Output& out_;
};

}  // namespace smdevents
