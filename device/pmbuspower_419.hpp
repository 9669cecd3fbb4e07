// pmbuspower_419: the power-system driver for the telecom power-system
// command set (AC distribution 0x40, rectifiers 0x41, DC distribution 0x42).
//
// Where its operations live:
//   Reset                      device/comm_alarm_reset.cpp
//   InitSetting                config/device_settings.cpp
//   RunCheckThreshold          alarm/power_rules.cpp (mode 1: alarm/power_rules_mode1.cpp,
//                              mode 2: alarm/power_rules_mode2.cpp)
//   Get_Value                  access/value_lookup.cpp
//   DeviceIoControl            access/control_requests.cpp
//   RefreshStatus, process_payload   poll/poll_sequencer.cpp
//   parse40_xx / 41_xx / 42_xx poll/ac_decoders.cpp, poll/rectifier_decoders.cpp,
//                              poll/dc_decoders.cpp
#pragma once

#include <string>

#include <json/value.h>

#include "device/uni_data_device.hpp"
#include "host/pmbus_protocol.hpp"

template <class T, unsigned int ID>
class pmbuspower_419 : public UniDataDevice<T, PMBusProtocol, ID> {
public:
    pmbuspower_419() {
        this->baud_rate = 9600;
        this->port_option = 1;
        this->protocol_ver = 0x20;
    }
    ~pmbuspower_419() override = default;

    float Get_Value(unsigned int id, const std::string& name) const override;
    int DeviceIoControl(int code, const void* in, int in_len, void* out, int out_size,
                        int& out_len) override;
    int Reset() override;
    int InitSetting(const Json::Value& config) override;
    int RefreshStatus() override;
    int process_payload() override;
    void RunCheckThreshold() override;

    // Poll response decoders: (first byte to decode, bytes available from
    // there) -> bytes consumed, or -1. Declared in this order on purpose:
    // it is their virtual-table order.
    virtual int parse42_41(const unsigned char* p, int len);
    virtual int parse42_41_2(const unsigned char* p, int len);
    virtual int parse42_42(const unsigned char* p, int len);
    virtual int parse42_42_2(const unsigned char* p, int len);
    virtual int parse42_44(const unsigned char* p, int len);
    virtual int parse42_44_2(const unsigned char* p, int len);
    virtual int parse41_41(const unsigned char* p, int len);
    virtual int parse41_42(const unsigned char* p, int len);
    virtual int parse41_43(const unsigned char* p, int len);
    virtual int parse41_44(const unsigned char* p, int len);
    virtual int parse40_44(const unsigned char* p, int len);
    virtual int parse40_43(const unsigned char* p, int len);
    virtual int parse40_41(const unsigned char* p, int len);
    virtual int parse40_42(const unsigned char* p, int len);

    int control_ack = -1;          // 1 when a frame arrived outside the poll sequence
    unsigned char cg = 1;          // COMMAND GROUP byte of the 0x40 commands
    unsigned char has_ac = 1;      // AC distribution present
    unsigned char has_dc = 0;      // DC distribution present
    int no_dc_number = -1;         // DC reply layout: 1, 2, or -1 = detect
    unsigned char has_a = 1;       // AC phases present
    unsigned char has_b = 1;
    unsigned char has_c = 1;
    int dc_i_adjust = 1;           // multiplier of the float DC load current
    int ac_line = 1;               // AC input reported by the mode-1 rules
    int ac_type = 0;               // 0 phase-voltage ids, else line-voltage ids
    unsigned char float_mode = 1;  // 1: analog commands CID2 0x41 (floats); 0: 0x42 (fixed)
    int skip_41_41 = 0;            // bytes after each rectifier of the float reply
    unsigned char has_tower = 0;   // replies carry a counted tower block
    int no_40_arg = 0;             // first 0x40 command without information
    int no_42_arg = 0;             // 0x42 commands without information
    int fixed_divisor = 100;       // divides fixed-point rectifier and DC load currents
    int dc_number = 0;             // DC screen count of the last DC reply
    int open_41_43 = 0;            // rectifier run alarm when state byte == 1 - open_41_43

protected:
    // The mode-1 and mode-2 power-system rule sets (alarm/).
    void run_power_rules_mode1();
    void run_power_rules_mode2();
    // Active round end: RoundDone, cmd_state = `rest_state`, Reset again.
    void end_poll_round(int rest_state);
};
