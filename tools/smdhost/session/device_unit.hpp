// DeviceUnit: one device of a bench-host session and everything that is its
// own: its configuration and host state, the device the plug-in made, its
// event sink and hub, and the line observer beside it. Nothing in one unit
// is shared with another; what they share (the plug-in, the output, the
// plug-in's captured log, the history store) belongs to the session.
#pragma once

#include <exception>
#include <memory>
#include <string>

#include <json/value.h>

#include "host/pmbus_protocol.hpp"
#include "tools/smdhost/outputs/text_view.hpp"
#include "tools/smdhost/session/events.hpp"
#include "tools/smdhost/session/host_config.hpp"
#include "tools/smdhost/session/line_watch.hpp"
#include "tools/smdhost/session/plugin_loader.hpp"

namespace smdsession {

struct DeviceUnit {
    DeviceUnit() = default;
    ~DeviceUnit();
    DeviceUnit(const DeviceUnit&) = delete;
    DeviceUnit& operator=(const DeviceUnit&) = delete;

    // "device 2 (plant2.json)": how messages name it (several devices).
    std::string name() const;
    // Runs one call into the device; an exception becomes the `op` call's
    // event with its text. False when it threw.
    template <class F>
    bool guarded(const char* op, F&& f);

    int address = -1;         // -1: every address (one device, no --address)
    std::string config_path;  // empty: the configuration {}
    Json::Value config{Json::objectValue};
    smdconfig::HostSettings host;

    std::unique_ptr<smdevents::EventSink> sink;
    smdevents::TextSink* text = nullptr;  // the sink, in the text view
    std::unique_ptr<smdevents::EventHub> hub;
    smdplugin::DevicePtr device;
    PMBusProtocol* protocol = nullptr;
    // After the device: detached from it before the device goes.
    std::unique_ptr<LineWatch> watch;
    // Started (InitSetting returned) and not left out of the run.
    bool running = false;
};

template <class F>
bool DeviceUnit::guarded(const char* op, F&& f) {
    try {
        f();
        return true;
    } catch (const std::exception& e) {
        hub->call(op, 0, e.what()[0] != '\0' ? e.what() : "exception");
    } catch (...) {
        hub->call(op, 0, "unknown exception");
    }
    return false;
}

}  // namespace smdsession
