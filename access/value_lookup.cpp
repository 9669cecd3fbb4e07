// pmbuspower_419::Get_Value (placeholder until the look-up lands).
#include <stdexcept>

#include "device/device_types.hpp"

template <class T, unsigned int ID>
float pmbuspower_419<T, ID>::Get_Value(unsigned int id, const std::string& name) const {
    (void)id;
    (void)name;
    throw std::out_of_range("数据未就绪");
}

template float PowerDevice::Get_Value(unsigned int, const std::string&) const;
