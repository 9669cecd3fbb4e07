// The built plug-in loaded as the real host loads it: dlopen, get_providers,
// create(), data id, InitSetting, then one published round. This binary links
// only the host layer (and JsonCpp), never the plug-in's code.
#include <dlfcn.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <json/json.h>

#include "host/host_event.hpp"
#include "host/provider.hpp"
#include "host/sim_clock.hpp"
#include "host/smd_spdevice.hpp"

namespace {

using smdhost::HostEvent;

struct Plugin {
    Plugin() { handle = dlopen(SMD_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL); }
    ~Plugin() {
        if (handle != nullptr) dlclose(handle);
    }
    void* handle = nullptr;
};

TEST(PluginLoad, HostLoadsCreatesConfiguresAndRunsOneRound) {
    Plugin plugin;
    ASSERT_NE(plugin.handle, nullptr) << dlerror();
    auto entry = reinterpret_cast<get_providers_fn>(dlsym(plugin.handle, "get_providers"));
    ASSERT_NE(entry, nullptr);
    {
        auto providers = entry();
        ASSERT_EQ(providers.size(), 1u);
        auto* sp = dynamic_cast<SMDSPDeviceProvider*>(providers[0].get());
        ASSERT_NE(sp, nullptr);
        std::unique_ptr<SMDSPDevice> dev(sp->create());
        ASSERT_NE(dev, nullptr);
        EXPECT_EQ(dev->DeviceType(), "tarnel_brelm_pxr52_419");

        smdhost::CallLog log;
        dev->host_listener = &log;
        dev->data_id = 42;
        Json::Value config(Json::objectValue);
        config["appSetting"]["b_mode"] = 3;
        EXPECT_EQ(dev->InitSetting(config), 1);
        ASSERT_FALSE(log.of(HostEvent::Kind::host_init).empty());

        smdhost::sim_clock::set_simulated(1767225600.0);
        std::string record(1257, '\0');
        record[100] = 0x5A;
        EXPECT_EQ(dev->LoadFromCache(record), 1);
        smdhost::sim_clock::use_wall();

        const auto published = log.of(HostEvent::Kind::publish);
        ASSERT_EQ(published.size(), 1u);
        EXPECT_EQ(published[0].code, 5535);
        ASSERT_EQ(published[0].bytes.size(), 1257u);
        EXPECT_EQ(published[0].bytes[100], 0x5A);
        // The plug-in saw the host's simulated clock: 2026-01-01 in the stamp.
        EXPECT_EQ(published[0].bytes[1046], 0x07);
        EXPECT_EQ(published[0].bytes[1047], 0xEA);
        EXPECT_EQ(log.of(HostEvent::Kind::history).size(), 1u);
        EXPECT_EQ(dev->DataId(), 42u);
        // Devices and providers are released before the library is closed.
    }
}

TEST(PluginLoad, ProviderOutlivesNothingItCreated) {
    Plugin plugin;
    ASSERT_NE(plugin.handle, nullptr) << dlerror();
    auto entry = reinterpret_cast<get_providers_fn>(dlsym(plugin.handle, "get_providers"));
    ASSERT_NE(entry, nullptr);
    SMDSPDevice* dev = nullptr;
    {
        auto providers = entry();
        dev = static_cast<SMDSPDeviceProvider*>(providers[0].get())->create();
    }
    // The provider is gone; the device still works and is destroyed by the host.
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->DeviceType(), "tarnel_brelm_pxr52_419");
    delete dev;
}

}  // namespace
