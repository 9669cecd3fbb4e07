// PMBusProtocol: the host's protocol engine for the telecom power-system
// command set. It frames the line (host/frame_codec.hpp), hands every good
// frame to process_payload() through `payload`, every bad one to
// process_error(), and sends the device's commands with write_pmbus_cmd().
#pragma once

#include <memory>

#include <json/value.h>

#include "host/frame_codec.hpp"
#include "host/frame_tap.hpp"
#include "host/host_api.hpp"
#include "host/smd_spdevice.hpp"

class SMD_HOST_API PMBusProtocol : public SMDSPDevice {
public:
    PMBusProtocol();
    ~PMBusProtocol() override;

    // The host's own settings reader, last step of the device's InitSetting.
    int InitSetting(const Json::Value& config) override;
    // Frames the bytes; calls process_payload / process_error per frame.
    // Returns the number of frames (good or bad) completed by these bytes.
    int process(unsigned char* data, unsigned int len) override;

    virtual int process_payload() = 0;
    virtual int process_error();

    // Sends one command: VER protocol_ver, ADR address, CID1, CID2 and
    // `info_len` information bytes (none when info is null or info_len <= 0).
    int write_pmbus_cmd(unsigned char cid1, unsigned char cid2,
                        const unsigned char* info = nullptr, int info_len = 0);

    // Hands one already decoded frame to the device as the engine would:
    // payload points at it during the call. Returns process_payload's result.
    int deliver_frame(const unsigned char* frame, int size);
    // Reports one bad frame to the device. Returns process_error's result.
    int deliver_error(const char* reason);

    unsigned char* payload = nullptr;  // decoded frame during process_payload
    int cmd_state = 0;                 // poll state of the device
    unsigned char protocol_ver = 0x20;

    // Host-layer settings of the protocol engine.
    unsigned char address = 0x01;   // ADR of the commands sent
    int address_filter = -1;        // 0..255: frames of other addresses are dropped
    bool accept_lf_eoi = false;     // replay: LF accepted as end of frame
    // Sees every frame completed by process(), after the device (not owned).
    smdhost::FrameTap* frame_tap = nullptr;

private:
    std::unique_ptr<smdhost::FrameDecoder> decoder_;
};
