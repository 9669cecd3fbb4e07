#include "host/host_event.hpp"

namespace smdhost {

const char* event_kind_name(HostEvent::Kind kind) {
    switch (kind) {
        case HostEvent::Kind::send: return "send";
        case HostEvent::Kind::publish: return "publish";
        case HostEvent::Kind::history: return "history";
        case HostEvent::Kind::threshold: return "threshold";
        case HostEvent::Kind::alarm: return "alarm";
        case HostEvent::Kind::report: return "report";
        case HostEvent::Kind::batch: return "batch";
        case HostEvent::Kind::open_port: return "open_port";
        case HostEvent::Kind::host_ioctl: return "host_ioctl";
        case HostEvent::Kind::host_init: return "host_init";
        case HostEvent::Kind::payload: return "payload";
        case HostEvent::Kind::frame_error: return "error";
    }
    return "unknown";
}

HostListener::~HostListener() = default;

void CallLog::on_event(const HostEvent& event) { events.push_back(event); }

std::vector<HostEvent> CallLog::of(HostEvent::Kind kind) const {
    std::vector<HostEvent> out;
    for (const auto& e : events)
        if (e.kind == kind) out.push_back(e);
    return out;
}

}  // namespace smdhost
