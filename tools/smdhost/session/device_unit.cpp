#include "tools/smdhost/session/device_unit.hpp"

namespace smdsession {

DeviceUnit::~DeviceUnit() {
    watch.reset();
    if (device) device->host_listener = nullptr;
    device.reset();
}

std::string DeviceUnit::name() const {
    return "device " + std::to_string(address) +
           (config_path.empty() ? std::string() : " (" + config_path + ")");
}

}  // namespace smdsession
