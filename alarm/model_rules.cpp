// pxr52_419::RunCheckThreshold: the base rules, then the model's own.
#include "device/pxr52_419.hpp"

void pxr52_419::RunCheckThreshold() {
    PowerDevice::RunCheckThreshold();
    if (b_mode == 2)
        run_model_rules_mode2();
    else if (b_mode == 3)
        return;
    else if (b_mode == 1)
        run_model_rules_mode1();
    else
        run_model_rules_other();
}
