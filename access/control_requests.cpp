// pmbuspower_419::DeviceIoControl (placeholder until control requests land).
#include "device/device_types.hpp"

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::DeviceIoControl(int code, const void* in, int in_len, void* out,
                                           int out_size, int& out_len) {
    return SMDVDevice::DeviceIoControl(code, in, in_len, out, out_size, out_len);
}

template int PowerDevice::DeviceIoControl(int, const void*, int, void*, int, int&);
