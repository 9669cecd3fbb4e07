// Test support: a device on the recording host layer, the simulated clock,
// and decoded frames built by hand.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "device/record.hpp"
#include "device/tarnel_brelm_pxr52_419.hpp"
#include "host/host_event.hpp"
#include "host/sim_clock.hpp"

namespace testing_support {

using Bytes = std::vector<unsigned char>;

// 2026-01-01T00:00:00 UTC (tests run with TZ=UTC).
constexpr double kStartEpoch = 1767225600.0;

// Puts the process on the simulated clock for the life of the object.
class SimClock {
public:
    explicit SimClock(double epoch = kStartEpoch) { smdhost::sim_clock::set_simulated(epoch); }
    ~SimClock() { smdhost::sim_clock::use_wall(); }
    void advance(double seconds) { smdhost::sim_clock::advance(seconds); }
};

// Captures std::cout (and so the plug-in's stream logging) while alive.
class CoutCapture {
public:
    CoutCapture() : old_(std::cout.rdbuf(buf_.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(old_); }
    std::string text() const { return buf_.str(); }

private:
    std::ostringstream buf_;
    std::streambuf* old_;
};

// Decoded frame as the host's protocol engine hands it over:
// VER ADR CID1 CID2/RTN LENID(LE, 2 x info bytes) INFO...
inline Bytes decoded_frame(unsigned char cid1, unsigned char cid2, const Bytes& info = {}) {
    Bytes f = {0x20, 0x01, cid1, cid2};
    const unsigned lenid = static_cast<unsigned>(info.size() * 2);
    f.push_back(static_cast<unsigned char>(lenid & 0xFF));
    f.push_back(static_cast<unsigned char>(lenid >> 8));
    f.insert(f.end(), info.begin(), info.end());
    return f;
}

// Fixed-point value of a reply: value * scale as unsigned big-endian 16-bit.
inline void put_fx(Bytes& out, double value, double scale = 100.0) {
    const auto v = static_cast<unsigned>(value * scale + 0.5);
    out.push_back(static_cast<unsigned char>(v >> 8));
    out.push_back(static_cast<unsigned char>(v & 0xFF));
}

// Float value of a reply, in the record's byte order.
inline void put_fl(Bytes& out, float value) {
    unsigned char b[4];
    pxr52::store_f32(b, value);
    out.insert(out.end(), b, b + 4);
}

template <class Device>
int deliver(Device& dev, const Bytes& frame) {
    return dev.deliver_frame(frame.data(), static_cast<int>(frame.size()));
}

// A shipped device with a recording host, data id set, not yet configured.
struct RecordedDevice {
    Tarnel_BRELM_PXR52_419 dev;
    smdhost::CallLog log;

    explicit RecordedDevice(unsigned data_id = 7) {
        dev.data_id = data_id;
        dev.host_listener = &log;
    }
    std::vector<smdhost::HostEvent> events(smdhost::HostEvent::Kind k) const { return log.of(k); }
};

}  // namespace testing_support
