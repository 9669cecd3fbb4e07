#include "tools/smdhost/outputs/service/systemd_notifier.hpp"

#include <systemd/sd-daemon.h>

#include <cstdint>
#include <cstdlib>

namespace smdservice {
namespace {

std::string one_line(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '\n' || c == '\r') c = ' ';
    return out;
}

}  // namespace

SystemdNotifier::SystemdNotifier() {
    const char* socket = std::getenv("NOTIFY_SOCKET");
    active_ = socket != nullptr && socket[0] != '\0';
    std::uint64_t usec = 0;
    // > 0 only when the watchdog is meant for this process (WATCHDOG_PID).
    if (active_ && sd_watchdog_enabled(0, &usec) > 0) interval_ = std::chrono::microseconds(usec);
    last_kick_ = Clock::now();
}

bool SystemdNotifier::send(const std::string& message) {
    if (!active_) return false;
    return sd_notify(0, message.c_str()) > 0;
}

void SystemdNotifier::ready(const std::string& status) {
    last_kick_ = Clock::now();
    send("READY=1\nSTATUS=" + one_line(status));
}

void SystemdNotifier::status(const std::string& status) { send("STATUS=" + one_line(status)); }

void SystemdNotifier::stopping() { send("STOPPING=1"); }

bool SystemdNotifier::kick(Clock::time_point now) {
    if (!active_ || interval_.count() == 0 || now - last_kick_ < interval_ / 2) return false;
    last_kick_ = now;
    return send("WATCHDOG=1");
}

}  // namespace smdservice
