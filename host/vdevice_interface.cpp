#include "host/vdevice_interface.hpp"

#include "host/smd_controller.hpp"

// Host defaults of the operations a device class normally overrides.
int VDeviceInterface::LoadFromCache(const unsigned char* data, int len) {
    (void)data;
    (void)len;
    return 0;
}

int VDeviceInterface::DeviceIoControl(int code, const void* in, int in_len, void* out,
                                      int out_size, int& out_len) {
    (void)code;
    (void)in;
    (void)in_len;
    (void)out;
    (void)out_size;
    out_len = 0;
    return 0;
}

void VDeviceInterface::RoundDone() {}

VDeviceInterface::~VDeviceInterface() = default;

SMDController::~SMDController() = default;
