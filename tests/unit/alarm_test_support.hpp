// Helpers of the configuration and alarm tests: host calls as one-line
// strings (so a whole call sequence compares at a glance), a scoped working
// directory for the threshold-file search, and JSON from text.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <json/reader.h>
#include <json/value.h>

#include "host/host_event.hpp"

namespace alarm_test {

// "alarm L key id text1 text2 on|off count", "threshold id name value arg",
// "report id value"; other kinds by name only.
inline std::string describe(const smdhost::HostEvent& e) {
    using K = smdhost::HostEvent::Kind;
    char num[32];
    switch (e.kind) {
        case K::alarm:
            return "alarm " + std::to_string(e.level) + ' ' + e.key + ' ' + e.id + ' ' + e.text1 +
                   ' ' + e.text2 + (e.flag ? " on " : " off ") + std::to_string(e.count);
        case K::threshold:
            std::snprintf(num, sizeof num, "%.9g", static_cast<double>(e.value));
            return "threshold " + e.id + " '" + e.name + "' " + num + ' ' + std::to_string(e.code);
        case K::report:
            std::snprintf(num, sizeof num, "%.9g", static_cast<double>(e.value));
            return "report " + e.id + ' ' + num;
        default:
            return smdhost::event_kind_name(e.kind);
    }
}

// The alarm, threshold and report calls of a log, described, in order.
inline std::vector<std::string> rule_calls(const smdhost::CallLog& log) {
    using K = smdhost::HostEvent::Kind;
    std::vector<std::string> out;
    for (const auto& e : log.events)
        if (e.kind == K::alarm || e.kind == K::threshold || e.kind == K::report)
            out.push_back(describe(e));
    return out;
}

inline Json::Value json(const std::string& text) {
    Json::Value v;
    Json::Reader reader;
    if (!reader.parse(text, v)) throw std::runtime_error("bad JSON in test: " + text);
    return v;
}

// A fresh empty directory made the working directory for the object's life.
class ScopedWorkDir {
public:
    ScopedWorkDir() : old_(std::filesystem::current_path()) {
        char pattern[] = "/tmp/alarm_test_XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (made == nullptr) throw std::runtime_error("mkdtemp failed");
        dir_ = made;
        std::filesystem::current_path(dir_);
    }
    ~ScopedWorkDir() {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    // Writes `text` to `relative` (parent folders made).
    void write(const std::string& relative, const std::string& text) const {
        const std::filesystem::path p = dir_ / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p) << text;
    }
    void remove(const std::string& relative) const { std::filesystem::remove(dir_ / relative); }

private:
    std::filesystem::path old_;
    std::filesystem::path dir_;
};

}  // namespace alarm_test
