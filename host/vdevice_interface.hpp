// VDeviceInterface: the root of the host framework's device chain
//   VDeviceInterface <- SMDVDevice <- SMDSPDevice <- PMBusProtocol.
//
// The order in which the virtual operations of the chain are declared is the
// order of the virtual-table slots that the host calls through; it must not
// change (tests/vtable_layout_test.cpp checks it).
#pragma once

#include <climits>
#include <stdexcept>
#include <string>

#include "host/host_api.hpp"

class SMD_HOST_API VDeviceInterface {
public:
    VDeviceInterface() = default;
    VDeviceInterface(const VDeviceInterface&) = delete;
    VDeviceInterface& operator=(const VDeviceInterface&) = delete;

    // Look-up of one named value. Interface default: no value is ever ready.
    virtual float Get_Value(unsigned int id, const std::string& name) const {
        (void)id;
        (void)name;
        throw std::out_of_range("数据未就绪");
    }
    // Interface default: hands the string's bytes to the other overload.
    virtual int LoadFromCache(const std::string& data) {
        // A string longer than any int cannot be a valid record; INT_MAX is
        // refused by every device like any other wrong length.
        const int len = data.size() > static_cast<std::size_t>(INT_MAX)
                            ? INT_MAX
                            : static_cast<int>(data.size());
        return LoadFromCache(reinterpret_cast<const unsigned char*>(data.data()), len);
    }
    virtual int LoadFromCache(const unsigned char* data, int len);
    virtual unsigned int DataId() const { return data_id; }
    virtual const std::string& DeviceType() const { return device_type; }
    virtual int DeviceIoControl(int code, const void* in, int in_len, void* out, int out_size,
                                int& out_len);
    virtual void RoundDone();
    virtual unsigned char UseControllerDb() { return use_controller_db; }
    virtual ~VDeviceInterface();

    unsigned int data_id = 0;
    std::string device_type;
    unsigned char use_controller_db = 0;
};
