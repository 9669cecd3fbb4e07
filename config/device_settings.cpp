// pmbuspower_419::InitSetting (placeholder until device settings land).
#include "device/device_types.hpp"

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::InitSetting(const Json::Value& config) {
    this->data.data_id.set(this->DataId());
    UniDataDevice<T, PMBusProtocol, ID>::InitSetting(config);
    return 1;
}

template int PowerDevice::InitSetting(const Json::Value&);
