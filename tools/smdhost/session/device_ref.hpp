// What an output that follows the devices of a session (the monitor
// outputs) is told about each device as the session makes it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class SMDSPDevice;

namespace Json {
class Value;
}

namespace smdevents {
class EventHub;
}

namespace smdsession {

struct DeviceRef {
    // The device address whose frames reach this device; -1 when a single
    // device takes every address (no --address given).
    int address = -1;
    // The data id the host gave the device (what its records are saved under).
    std::uint32_t data_id = 0;
    // The device configuration it was initialised with.
    std::string config_path;
    // That configuration as read (an object; {} without one). Valid until
    // the session ends.
    const Json::Value* config = nullptr;
    // More than one device runs on the line (outputs then name the address).
    bool several = false;
    // The device's events; a sink added with add_observer() sees every one of
    // them, and the line-wide notices (listen: device lost/back), after the
    // main output. Valid until the session ends.
    smdevents::EventHub* hub = nullptr;
    SMDSPDevice* device = nullptr;
};

// Called once per device, after the device exists and has its host state and
// before InitSetting, so that what it logs or raises from then on is seen.
// A device whose InitSetting then throws is left out of a run of several
// (--device): its hub tells its observers once with a notice ("left out of
// the run: ...") and carries no further event; it stays valid, and its
// observers attached, until the session ends.
using DeviceHook = std::function<void(const DeviceRef&)>;

}  // namespace smdsession
