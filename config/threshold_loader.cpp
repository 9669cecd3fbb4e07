// UniDataDevice::InitSetting (placeholder until threshold loading lands).
#include "device/device_types.hpp"

template <class T, class Base, unsigned int ID>
int UniDataDevice<T, Base, ID>::InitSetting(const Json::Value& config) {
    data.data_id.set(this->DataId());
    return PMBusProtocol::InitSetting(config);
}

template int DataDevice::InitSetting(const Json::Value&);
