// UniDataDevice::LoadFromCache: a stored record handed back by the host.
#include <cstring>

#include "device/device_types.hpp"

template <class T, class Base, unsigned int ID>
int UniDataDevice<T, Base, ID>::LoadFromCache(const unsigned char* bytes, int len) {
    if (bytes == nullptr || len != static_cast<int>(sizeof(T))) return 0;
    std::memcpy(&data, bytes, sizeof(T));
    this->data_valid = 1;
    this->RoundDone();
    return 1;
}

template int DataDevice::LoadFromCache(const unsigned char*, int);
