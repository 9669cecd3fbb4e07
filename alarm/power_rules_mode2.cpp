// Mode-2 power-system rules (placeholder until alarm evaluation lands).
#include "device/device_types.hpp"

template <class T, unsigned int ID>
void pmbuspower_419<T, ID>::run_power_rules_mode2() {}

template void PowerDevice::run_power_rules_mode2();
