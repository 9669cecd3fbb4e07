#include "tools/smdhost/outputs/monitor/event_stream.hpp"

namespace smdmonitor {

EventStream::EventStream(smdhttp::SseHub& hub, bool diagnostics)
    : hub_(hub), json_(out_, diagnostics, /*quiet=*/true) {
    out_.set_line_sink([this](const std::string& line) { hub_.publish(line); });
}

}  // namespace smdmonitor
