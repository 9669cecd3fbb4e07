// HostEvent: one call of the device into the host layer, or one frame the
// host handed to the device, as the host layer observed it.
//
// The host layer reports every event to the HostListener attached to the
// device (SMDVDevice::host_listener) at the moment it happens; with no
// listener attached nothing is recorded and nothing is allocated for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_api.hpp"

namespace smdhost {

struct SMD_HOST_API HostEvent {
    enum class Kind : std::uint8_t {
        send,         // write_pmbus_cmd: cid1, cid2, bytes = information
        publish,      // SendSP: code = type, len, bytes = record, flag = delay
        history,      // SaveDeviceHistory: len, bytes = record
        threshold,    // CheckThreshold: id, name, value, code = last argument
        alarm,        // CheckThresholdBool: level, key, id, text1, text2, flag = active, count
        report,       // SMDVDevice::CheckAOReport: id, value
        batch,        // DoBatchCheckThreshold: count = rules handed over, result
        open_port,    // OpenPort
        host_ioctl,   // SMDVDevice::DeviceIoControl: code, result
        host_init,    // PMBusProtocol::InitSetting: result
        payload,      // after process_payload: cid1, cid2, len = information bytes, result
        frame_error,  // after process_error: text1 = failure kind, result
    };

    Kind kind = Kind::send;
    unsigned char cid1 = 0;
    unsigned char cid2 = 0;
    int code = 0;
    int len = 0;
    int level = 0;
    int result = 0;
    unsigned count = 0;
    bool flag = false;
    float value = 0.0f;
    std::string id;
    std::string name;
    std::string key;
    std::string text1;
    std::string text2;
    std::vector<unsigned char> bytes;
};

SMD_HOST_API const char* event_kind_name(HostEvent::Kind kind);

class SMD_HOST_API HostListener {
public:
    virtual ~HostListener();
    virtual void on_event(const HostEvent& event) = 0;
};

// A listener that keeps every event in order; what the tests read.
class SMD_HOST_API CallLog : public HostListener {
public:
    void on_event(const HostEvent& event) override;

    std::vector<HostEvent> events;

    void clear() { events.clear(); }
    // Events of one kind, in order.
    std::vector<HostEvent> of(HostEvent::Kind kind) const;
};

}  // namespace smdhost
