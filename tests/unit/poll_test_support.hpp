// Helpers of the active-poll tests: a polling device on the recording host,
// its commands as short strings ("40/43 01"), and standard output captured at
// the file descriptor (the poll code logs with printf and with std::cout).
#pragma once

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "device/pxr52_419.hpp"
#include "support/test_device.hpp"

namespace poll_test {

using testing_support::Bytes;
using testing_support::put_fl;
using testing_support::put_fx;
using Strings = std::vector<std::string>;

// A polling device (pmbuspower_419 or pxr52_419) with a recording host.
template <class Dev>
struct Poller {
    Dev dev;
    smdhost::CallLog log;
    std::size_t sends_seen = 0;

    Poller() {
        dev.data_id = 7;
        dev.host_listener = &log;
    }
    // Commands sent since the last call, as "CID1/CID2 INFO" in hex.
    Strings sent() {
        Strings out;
        const auto sends = log.of(smdhost::HostEvent::Kind::send);
        for (; sends_seen < sends.size(); ++sends_seen) {
            const auto& e = sends[sends_seen];
            char buf[8];
            std::snprintf(buf, sizeof buf, "%02X/%02X", e.cid1, e.cid2);
            out.emplace_back(buf);
            if (!e.bytes.empty()) out.back() += ' ';
            for (unsigned char b : e.bytes) {
                std::snprintf(buf, sizeof buf, "%02X", b);
                out.back() += buf;
            }
        }
        return out;
    }
    // Delivers a normal response (return code 0) of group `cid1`.
    int reply(unsigned char cid1, const Bytes& info) {
        return testing_support::deliver(dev, testing_support::decoded_frame(cid1, 0x00, info));
    }
    std::size_t publishes() const { return log.of(smdhost::HostEvent::Kind::publish).size(); }
};

// Everything written to standard output (fd 1) while `f` runs.
template <class F>
std::string stdout_of(F&& f) {
    std::cout.flush();
    std::fflush(stdout);
    std::FILE* tmp = std::tmpfile();
    const int saved = dup(1);
    dup2(fileno(tmp), 1);
    f();
    std::cout.flush();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string text;
    std::rewind(tmp);
    for (int c; (c = std::fgetc(tmp)) != EOF;) text += static_cast<char>(c);
    std::fclose(tmp);
    return text;
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline Bytes bytes_of(const pxr52::le_f32& f) { return Bytes(f.b, f.b + 4); }
const Bytes kMarkerBytes = {0xCD, 0xCC, 0xCC, 0xBD};  // -0.1
const Bytes kZeroBytes = {0, 0, 0, 0};

}  // namespace poll_test
