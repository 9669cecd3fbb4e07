// pxr52_419: the power-system model. Polls in fixed point, has a DC screen,
// ends each active round with the model-specific 0x80/0x42 exchange
// (poll/pxr52_poll_sequencer.cpp) and adds its own alarm rules
// (alarm/model_rules*.cpp).
#pragma once

#include "device/device_types.hpp"

class pxr52_419 : public PowerDevice {
public:
    pxr52_419();
    ~pxr52_419() override;

    int process_payload() override;
    void RunCheckThreshold() override;

protected:
    // Model rule branches (alarm/model_rules*.cpp).
    void run_model_rules_mode1();
    void run_model_rules_mode2();
    void run_model_rules_other();
};
