// SMDSPDevice: the host's device on a serial port. The host's protocol engine
// feeds it the bytes of the line through process().
#pragma once

#include "host/host_api.hpp"
#include "host/smd_vdevice.hpp"

class SMD_HOST_API SMDSPDevice : public SMDVDevice {
public:
    SMDSPDevice();
    ~SMDSPDevice() override;

    // Host default: 1 (the host's own refresh allows the device to go on),
    // or host_refresh_result when a test sets it.
    virtual int RefreshStatus();
    // Bytes heard on the line; the protocol engine frames them.
    virtual int process(unsigned char* data, unsigned int len);
    virtual bool IsProcessing() const;
    virtual bool IsStalled() const;
    virtual int SendData(const unsigned char* data, int len);
    virtual int SendParityData(const unsigned char* data, int len, int parity);
    virtual int OpenPort();
    virtual int ClosePort();

    int refresh_wait = 0;
    unsigned char port_option = 0;
    int baud_rate = 9600;
};
