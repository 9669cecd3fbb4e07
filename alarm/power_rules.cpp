// pmbuspower_419::RunCheckThreshold: the power-system rule set by threshold mode.
#include "device/device_types.hpp"

template <class T, unsigned int ID>
void pmbuspower_419<T, ID>::RunCheckThreshold() {
    if (this->b_mode == 1)
        run_power_rules_mode1();
    else if (this->b_mode == 2)
        run_power_rules_mode2();
}

template void PowerDevice::RunCheckThreshold();
