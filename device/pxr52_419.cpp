#include "device/pxr52_419.hpp"

pxr52_419::pxr52_419() {
    device_type = "pxr52_419";
    float_mode = 0;
    has_dc = 1;
}

pxr52_419::~pxr52_419() = default;
