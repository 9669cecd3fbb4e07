// pxr52_419 active-mode sequencer (placeholder until active polling lands).
#include "device/pxr52_419.hpp"

int pxr52_419::process_payload() { return PowerDevice::process_payload(); }
