// pmbuspower_419 active-mode sequencer (placeholder until active polling lands).
#include "device/device_types.hpp"

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::RefreshStatus() {
    return 0;
}

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::process_payload() {
    return 0;
}

template <class T, unsigned int ID>
void pmbuspower_419<T, ID>::end_poll_round(int rest_state) {
    this->RoundDone();
    this->cmd_state = rest_state;
    this->Reset();
}

template int PowerDevice::RefreshStatus();
template int PowerDevice::process_payload();
template void PowerDevice::end_poll_round(int);
