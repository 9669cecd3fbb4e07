// Loads the plug-in the way the monitoring unit does: dlopen, the exported
// get_providers(), the provider's create().
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/provider.hpp"
#include "host/smd_spdevice.hpp"

namespace smdplugin {

// Default plug-in location: ../lib/tarnel_brelm_pxr52_419.so relative to the
// running executable.
std::string default_plugin_path();

class LoadedPlugin {
public:
    LoadedPlugin() = default;
    // Releases the providers, then unloads the library. Every device created
    // must be destroyed first.
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    // False with the reason in `error` when the file cannot be loaded, has no
    // get_providers, or hands out no serial-port device provider.
    bool load(const std::string& path, std::string& error);
    // A new device from the first serial-port provider; null with `error`
    // when create() fails.
    SMDSPDevice* create(std::string& error);

private:
    void* handle_ = nullptr;
    std::vector<std::shared_ptr<Provider>> providers_;
    SMDSPDeviceProvider* provider_ = nullptr;
};

// Owns a device created by the plug-in; destroys it through its virtual
// destructor, as the host does.
struct DeviceDeleter {
    void operator()(SMDSPDevice* d) const { delete d; }
};
using DevicePtr = std::unique_ptr<SMDSPDevice, DeviceDeleter>;

}  // namespace smdplugin
