// Readiness, status and watchdog notices to systemd (sd_notify), for
// smdhost-listen@.service (Type=notify, WatchdogSec=). Outside systemd (no
// NOTIFY_SOCKET) every call does nothing.
//
// The watchdog is fed from the loop whose health it stands for, the line
// loop: kick() there on every pass; it sends WATCHDOG=1 once half of the
// interval systemd asked for (WATCHDOG_USEC) has gone by, so a loop that
// hangs stops feeding it and systemd restarts the service.
#pragma once

#include <chrono>
#include <string>

namespace smdservice {

class SystemdNotifier {
public:
    using Clock = std::chrono::steady_clock;

    // Reads NOTIFY_SOCKET and the watchdog settings of the environment.
    SystemdNotifier();

    bool active() const { return active_; }
    // Zero when systemd asked for no watchdog.
    std::chrono::microseconds watchdog_interval() const { return interval_; }

    // READY=1 with a status line: start-up is over (inputs open, outputs
    // listening), the service is running.
    void ready(const std::string& status);
    // STATUS=... shown by systemctl status; line breaks become spaces.
    void status(const std::string& status);
    // STOPPING=1: a clean stop has begun.
    void stopping();
    // WATCHDOG=1 when half the interval has passed since the last one (or
    // since ready()); true when it was sent.
    bool kick(Clock::time_point now = Clock::now());

private:
    bool send(const std::string& message);

    bool active_ = false;
    std::chrono::microseconds interval_{0};
    Clock::time_point last_kick_{};
};

}  // namespace smdservice
