// The host framework's plug-in contract: a plug-in library exports
// get_providers(), which hands out providers; a provider creates devices.
// The shape below (virtual destructor first, create() next) is what the host
// calls through the virtual table and must not change.
#pragma once

#include <memory>
#include <vector>

#include "host/host_api.hpp"

class SMDSPDevice;

class SMD_HOST_API Provider {
public:
    virtual ~Provider() = default;
};

// Provider of devices attached to a serial port.
class SMD_HOST_API SMDSPDeviceProvider : public Provider {
public:
    ~SMDSPDeviceProvider() override = default;
    // A new device, owned by the caller, destroyed through its virtual destructor.
    virtual SMDSPDevice* create() const = 0;
};

// Signature of the exported entry point.
using get_providers_fn = std::vector<std::shared_ptr<Provider>> (*)();
