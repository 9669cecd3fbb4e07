#include "host/smd_spdevice.hpp"

using smdhost::HostEvent;

SMDSPDevice::SMDSPDevice() = default;
SMDSPDevice::~SMDSPDevice() = default;

int SMDSPDevice::RefreshStatus() { return host_refresh_result; }

int SMDSPDevice::process(unsigned char* data, unsigned int len) {
    (void)data;
    (void)len;
    return 0;
}

bool SMDSPDevice::IsProcessing() const { return false; }

bool SMDSPDevice::IsStalled() const { return false; }

int SMDSPDevice::SendData(const unsigned char* data, int len) {
    (void)data;
    return len;
}

int SMDSPDevice::SendParityData(const unsigned char* data, int len, int parity) {
    (void)data;
    (void)parity;
    return len;
}

int SMDSPDevice::OpenPort() {
    if (host_listener != nullptr) {
        HostEvent e;
        e.kind = HostEvent::Kind::open_port;
        emit(e);
    }
    return 1;
}

int SMDSPDevice::ClosePort() { return 1; }
