#include "tools/smdhost/session/address_census.hpp"

namespace smdsession {

void AddressCensus::bytes(const unsigned char* data, std::size_t len) {
    for (std::size_t k = 0; k < len; ++k) {
        if (decoder_.push(data[k]) != smdhost::FrameDecoder::Status::frame) continue;
        const int adr = decoder_.frame()[1];
        if (addresses_.count(adr) == 0) ++unrouted_[adr];
    }
}

}  // namespace smdsession
