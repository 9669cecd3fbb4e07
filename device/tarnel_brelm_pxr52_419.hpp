// Tarnel_BRELM_PXR52_419: the shipped device. It never sends: it listens to
// another master interrogating the power system, decodes each response into
// a private capture record and publishes the record when a full round of
// eight responses has been seen (capture/capture_round.cpp, decoders in
// capture/*_capture.cpp).
#pragma once

#include <cstdint>

#include "device/pxr52_419.hpp"
#include "device/record.hpp"

class Tarnel_BRELM_PXR52_419 : public pxr52_419 {
public:
    Tarnel_BRELM_PXR52_419();
    ~Tarnel_BRELM_PXR52_419() override;

    int RefreshStatus() override;
    int process_payload() override;
    int process_error() override;

    // Capture command code of a command frame (1..12; 13 = not one of ours).
    int command_for(unsigned char cid1, unsigned char cid2) const;
    // True when a response of group `cid1` answers current_cmd.
    bool response_matches(unsigned char cid1) const;
    void start_round();
    // Ends the round; publishes and returns 0 when all eight bits were set, else 1.
    int finish_round();

    // Capture decoders: (information bytes, information length) -> bytes
    // consumed, or -1 when the response is refused.
    int parse40_42_capture(const unsigned char* info, int len);
    int parse40_43_capture(const unsigned char* info, int len);
    int parse40_44_capture(const unsigned char* info, int len);
    int parse41_42_capture(const unsigned char* info, int len);
    int parse41_43_capture(const unsigned char* info, int len);
    int parse41_44_capture(const unsigned char* info, int len);
    int parse42_42_capture(const unsigned char* info, int len);
    int parse42_44_capture(const unsigned char* info, int len);
    int parse42_47_capture(const unsigned char* info, int len);

    int current_cmd = 0;            // code of the command awaiting its response
    unsigned char round_active = 0;
    std::uint16_t round_mask = 0;   // one bit per decoded response of the round
    pxr52_419_Data_t capture;       // record being filled during a round
    float dc_param1 = 0.0f;         // 0x42/0x47 word 1 / 100
    float dc_param2 = 0.0f;         // 0x42/0x47 word 2 / 100
};
