// Threshold framework (placeholder until alarm evaluation lands).
#include "device/device_types.hpp"

template <class T, class Base, unsigned int ID>
int UniDataDevice<T, Base, ID>::CheckAOReport(const std::string& template_id,
                                              const std::string& report_id, float value) {
    (void)template_id;
    (void)report_id;
    (void)value;
    return 0;
}

template <class T, class Base, unsigned int ID>
void UniDataDevice<T, Base, ID>::CheckSignalThresholdMap(signal_rule_map& rules, bool upper) {
    (void)rules;
    (void)upper;
}

template <class T, class Base, unsigned int ID>
void UniDataDevice<T, Base, ID>::CheckAIMap() {}

template int DataDevice::CheckAOReport(const std::string&, const std::string&, float);
template void DataDevice::CheckSignalThresholdMap(signal_rule_map&, bool);
template void DataDevice::CheckAIMap();
