#include "device/tarnel_brelm_pxr52_419.hpp"

Tarnel_BRELM_PXR52_419::Tarnel_BRELM_PXR52_419() : capture() {
    device_type = "tarnel_brelm_pxr52_419";
    baud_rate = 9600;
    port_option = 1;
    protocol_ver = 0x20;
    float_mode = 0;
    has_ac = 1;
    has_dc = 1;
}

Tarnel_BRELM_PXR52_419::~Tarnel_BRELM_PXR52_419() = default;
