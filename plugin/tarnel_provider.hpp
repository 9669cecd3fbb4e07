// The plug-in's one provider: creates Tarnel_BRELM_PXR52_419 devices.
#pragma once

#include "host/provider.hpp"

class Tarnel_BRELM_PXR52_419Provider : public SMDSPDeviceProvider {
public:
    ~Tarnel_BRELM_PXR52_419Provider() override = default;
    SMDSPDevice* create() const override;
};
