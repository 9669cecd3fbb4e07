// Shared pieces of the fuzz targets: a forward byte reader for structured
// inputs, silencing of the plug-in's diagnostic output, the simulated clock,
// and a host listener that checks every published record.
//
// Inputs are read front to back so that the seed generator (fuzz/seeds.cpp)
// can write them in the same order; a reader that runs dry yields zeros, so
// every input, however short, is a valid program for the target.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "device/record.hpp"
#include "host/host_event.hpp"
#include "host/sim_clock.hpp"

namespace fuzzing {

using Bytes = std::vector<unsigned char>;

// 2026-01-01T00:00:00 UTC.
constexpr double kStartEpoch = 1767225600.0;

// Forward reader over the fuzzer's input.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : p_(data), left_(size) {}

    bool empty() const { return left_ == 0; }
    std::size_t left() const { return left_; }

    std::uint8_t u8() {
        if (left_ == 0) return 0;
        --left_;
        return *p_++;
    }
    std::uint16_t u16() {
        const unsigned hi = u8();
        return static_cast<std::uint16_t>(hi << 8 | u8());
    }
    std::int32_t i32() {
        std::uint32_t v = 0;
        for (int k = 0; k < 4; ++k) v = v << 8 | u8();
        return static_cast<std::int32_t>(v);
    }
    // Up to n bytes (fewer when the input ends).
    Bytes bytes(std::size_t n) {
        if (n > left_) n = left_;
        Bytes out(p_, p_ + n);
        p_ += n;
        left_ -= n;
        return out;
    }
    // A length-prefixed (one byte) piece of text.
    std::string text() {
        const Bytes b = bytes(u8());
        return std::string(b.begin(), b.end());
    }
    Bytes rest() { return bytes(left_); }
    // Picks one element of a non-empty array.
    template <class T, std::size_t N>
    const T& pick(const T (&items)[N]) {
        return items[u8() % N];
    }

private:
    const std::uint8_t* p_;
    std::size_t left_;
};

// Whole-process set-up, once: the plug-in's stdout diagnostics are dropped
// (stream insertion and printf alike; the fuzzer reports on stderr), and the
// plug-in runs on the simulated clock so that every run is reproducible.
inline void init_process() {
    std::cout.setstate(std::ios::badbit);
    std::fflush(stdout);
    const int null_fd = ::open("/dev/null", O_WRONLY);
    if (null_fd >= 0) {
        ::dup2(null_fd, STDOUT_FILENO);
        ::close(null_fd);
    }
    smdhost::sim_clock::set_simulated(kStartEpoch);
}

// Each run starts at the same simulated time.
inline void reset_clock() { smdhost::sim_clock::set_simulated(kStartEpoch); }

// A failed property: report it and abort, so the fuzzer keeps the input.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

inline void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

// The capture record's guarantees: counts clipped to the capacities, the
// capacity-0 counts zero, reserved bytes zero, no 0x80/0x42 values.
inline void check_capture_record(const Bytes& rec) {
    check(rec.size() == sizeof(pxr52_419_Data_t), "published record is 1257 bytes");
    pxr52_419_Data_t r;
    std::memcpy(&r, rec.data(), sizeof r);
    check(r.channel_count <= CHANNEL_MAX, "channel_count within capacity");
    check(r.airlock_count <= AIRLOCK_MAX, "airlock_count within capacity");
    check(r.p40_43_count == 0, "p40_43_count zero");
    check(r.rc_count <= RC_MAX, "rc_count within capacity");
    for (const auto& ac : r.acChannel)
        check(ac.p40_41_count == 0 && ac.p40_44_count == 0, "AC user counts zero");
    for (const auto& rc : r.rcChannel) {
        check(rc.p41_41_count == 0, "p41_41_count zero");
        check(rc.p41_43_count <= P41_43_SIZE, "p41_43_count within capacity");
        check(rc.p41_44_count <= P41_44_SIZE, "p41_44_count within capacity");
    }
    for (int k = 0; k < 2; ++k) {
        const dcScreen_t& dc = r.dc(k);
        check(dc.m_count <= M_SIZE && dc.n_count <= N_SIZE && dc.p_count <= P_SIZE,
              "DC analog counts within capacity");
        check(dc.alert_m_count <= ALERT_M_SIZE && dc.alert_p_count <= ALERT_P_SIZE,
              "DC alarm counts within capacity");
        for (unsigned char b : dc.reserved0) check(b == 0, "DC reserved bytes zero");
        for (unsigned char b : dc.reserved1) check(b == 0, "DC reserved bytes zero");
    }
    for (unsigned char b : r.reserved0) check(b == 0, "reserved bytes zero");
    for (unsigned char b : r.reserved1) check(b == 0, "reserved bytes zero");
    for (const auto& v : r.p80_42)
        for (unsigned char b : v.b) check(b == 0, "p80_42 zero in capture mode");
}

// Counts publications and checks each published and stored record's size.
class CheckingListener : public smdhost::HostListener {
public:
    // When set, every published record must keep the capture guarantees.
    bool capture_mode = false;
    int published = 0;
    Bytes last_record;

    void on_event(const smdhost::HostEvent& e) override {
        using K = smdhost::HostEvent::Kind;
        if (e.kind == K::publish) {
            check(e.code == static_cast<int>(PXR52_419_DATA_ID), "published under 5535");
            check(e.len == PXR52_419_RECORD_SIZE, "published length 1257");
            ++published;
            last_record = e.bytes;
            if (capture_mode) check_capture_record(e.bytes);
        } else if (e.kind == K::history) {
            check(e.len == PXR52_419_RECORD_SIZE, "stored length 1257");
        }
    }
};

}  // namespace fuzzing
