#include "plugin/get_providers.hpp"

#include <utility>

#include "device/tarnel_brelm_pxr52_419.hpp"
#include "plugin/tarnel_provider.hpp"

SMDSPDevice* Tarnel_BRELM_PXR52_419Provider::create() const { return new Tarnel_BRELM_PXR52_419(); }

std::vector<std::shared_ptr<Provider>> get_providers() {
    std::vector<std::shared_ptr<Provider>> providers;
    std::shared_ptr<Provider> provider = std::make_shared<Tarnel_BRELM_PXR52_419Provider>();
    providers.push_back(std::move(provider));
    return providers;
}
