// AddressCensus: with several devices on the line, counts the good frames
// of addresses that have no device (they reach no device and are dropped).
//
// It frames the line itself, byte for byte as every device's protocol
// engine does, so it needs nothing from them.
#pragma once

#include <cstddef>
#include <map>
#include <set>

#include "host/frame_codec.hpp"

namespace smdsession {

class AddressCensus {
public:
    // `addresses`: those that have a device; `accept_lf`: as the engines (replay).
    AddressCensus(std::set<int> addresses, bool accept_lf)
        : addresses_(std::move(addresses)), decoder_(accept_lf) {}

    void bytes(const unsigned char* data, std::size_t len);

    // Frames by address of those without a device.
    const std::map<int, unsigned long long>& unrouted() const { return unrouted_; }

private:
    std::set<int> addresses_;
    smdhost::FrameDecoder decoder_;
    std::map<int, unsigned long long> unrouted_;
};

}  // namespace smdsession
