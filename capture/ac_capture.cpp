// Capture decoders (placeholder until bus capture lands).
#include "device/tarnel_brelm_pxr52_419.hpp"

int Tarnel_BRELM_PXR52_419::parse40_42_capture(const unsigned char* info, int len) {
    (void)info;
    (void)len;
    return -1;
}

int Tarnel_BRELM_PXR52_419::parse40_43_capture(const unsigned char* info, int len) {
    (void)info;
    (void)len;
    return -1;
}

int Tarnel_BRELM_PXR52_419::parse40_44_capture(const unsigned char* info, int len) {
    (void)info;
    (void)len;
    return -1;
}

