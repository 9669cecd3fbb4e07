// The plug-in's entry point, the only symbol exported under a plain name.
#include <memory>
#include <utility>
#include <vector>

#include "device/tarnel_brelm_pxr52_419.hpp"
#include "plugin/tarnel_provider.hpp"

SMDSPDevice* Tarnel_BRELM_PXR52_419Provider::create() const { return new Tarnel_BRELM_PXR52_419(); }

#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
extern "C" __attribute__((visibility("default"))) std::vector<std::shared_ptr<Provider>>
get_providers() {
    std::vector<std::shared_ptr<Provider>> providers;
    std::shared_ptr<Provider> provider = std::make_shared<Tarnel_BRELM_PXR52_419Provider>();
    providers.push_back(std::move(provider));
    return providers;
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
