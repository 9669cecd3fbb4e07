#include "tools/smdhost/inputs/listen.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <exception>
#include <iostream>

#include <poll.h>
#include <signal.h>

#include "host/sim_clock.hpp"
#include "tools/common/serial_line.hpp"
#include "tools/smdhost/inputs/recorder.hpp"
#include "tools/smdhost/outputs/monitor/http_monitor.hpp"
#include "tools/smdhost/outputs/mqtt_output.hpp"
#include "tools/smdhost/outputs/record_count.hpp"
#include "tools/smdhost/outputs/service/systemd_notifier.hpp"
#include "tools/smdhost/session/session.hpp"

namespace smdlisten {

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void on_stop_signal(int) { g_stop = 1; }

constexpr double kRefreshPeriod = 1.0;  // seconds between RefreshStatus calls
constexpr double kFirstRetry = 0.5;     // seconds before the first reopen
constexpr double kLongestRetry = 5.0;   // back-off ceiling
constexpr double kStatusPeriod = 10.0;  // seconds between systemd STATUS updates

double monotonic_now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The signals that stop listening cleanly: SIGINT (Ctrl-C), SIGTERM (a
// service manager) and SIGHUP (the terminal closed).
const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The stop signals are blocked except while waiting in ppoll(), so a stop
// request is never lost between the check and the wait.
class StopSignals {
public:
    StopSignals() {
        struct sigaction sa {};
        sa.sa_handler = on_stop_signal;
        sigemptyset(&sa.sa_mask);
        sigset_t block;
        sigemptyset(&block);
        for (std::size_t k = 0; k < 3; ++k) {
            sigaction(kStopSignals[k], &sa, &old_[k]);
            sigaddset(&block, kStopSignals[k]);
        }
        sigprocmask(SIG_BLOCK, &block, &wait_mask_);
        for (int sig : kStopSignals) sigdelset(&wait_mask_, sig);
    }
    ~StopSignals() {
        sigset_t unblock;
        sigemptyset(&unblock);
        for (int sig : kStopSignals) sigaddset(&unblock, sig);
        sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
        for (std::size_t k = 0; k < 3; ++k) sigaction(kStopSignals[k], &old_[k], nullptr);
    }
    // Waits up to `seconds` for `fd` (none when -1) or a stop signal.
    // Returns the poll events of fd.
    short wait(int fd, double seconds) const {
        pollfd p{fd, POLLIN, 0};
        if (seconds < 0) seconds = 0;
        timespec ts{};
        ts.tv_sec = static_cast<time_t>(seconds);
        ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
        const int n = ppoll(fd >= 0 ? &p : nullptr, fd >= 0 ? 1 : 0, &ts, &wait_mask_);
        return n > 0 ? p.revents : 0;
    }

private:
    struct sigaction old_[3] {};
    sigset_t wait_mask_{};
};

}  // namespace

int run_listen(const smdcli::Options& opts) {
    smdhost::sim_clock::use_wall();
    g_stop = 0;
    StopSignals signals;
    const serial::LineSettings settings = opts.line();

    smdrecord::Recorder recorder;
    std::string error;
    if (!opts.record.empty() &&
        !recorder.open(opts.record, opts.serial + " at " + settings.text(),
                       smdhost::sim_clock::now(), error)) {
        std::cerr << "smdhost: " << error << std::endl;
        return smdsession::kExitFailure;
    }

    serial::SerialLine port;
    if (!port.open_device(opts.serial, settings, error)) {
        std::cerr << "smdhost: " << error << std::endl;
        return smdsession::kExitFailure;
    }

    // Declared before the session, which its sinks observe.
    std::unique_ptr<smdevents::MqttOutput> mqtt;
    if (!opts.mqtt.empty()) mqtt = std::make_unique<smdevents::MqttOutput>(opts.mqtt);
    smdevents::RecordCount records;  // for systemd's STATUS
    smdsession::Session session;
    if (mqtt) mqtt->attach(session);
    session.on_device([&records](const smdsession::DeviceRef& d) { d.hub->add_observer(records); });
    // Its server threads start with the stop signals blocked (above): they
    // reach the loop below only.
    smdmonitor::HttpMonitor http(opts);
    http.attach(session);
    int status = session.start(opts, false);
    if (status != smdsession::kExitOk) return status;
    status = http.start();
    if (status != smdsession::kExitOk) return status;

    // Under systemd: ready once the line is open and the outputs run; the
    // watchdog is fed from this loop, so a loop that hangs is restarted.
    smdservice::SystemdNotifier service;
    const std::string listening = "listening on " + opts.serial + " at " + settings.text();
    service.ready(listening);
    bool line_lost = false;
    double next_status = monotonic_now() + kStatusPeriod;

    double next_refresh = monotonic_now() + kRefreshPeriod;
    double next_reset = monotonic_now() + opts.reset_every;
    double retry_at = 0.0;
    double backoff = kFirstRetry;
    unsigned char buf[4096];
    unsigned long long heard = 0;  // bytes off the line: the dissection's offsets

    while (g_stop == 0 && !session.output_failed() && !recorder.failed()) {
        service.kick();
        const double now = monotonic_now();
        double wake = std::min(next_refresh, next_reset);
        if (!port.is_open()) wake = std::min(wake, retry_at);
        const short ready = signals.wait(port.is_open() ? port.fd() : -1, wake - now);
        if (g_stop != 0) break;

        if (port.is_open() && ready != 0) {
            // Everything waiting, then back to the clock.
            for (int chunk = 0; chunk < 64; ++chunk) {
                std::size_t got = 0;
                const auto r = port.read(buf, sizeof buf, got, error);
                if (r == serial::SerialLine::ReadStatus::data) {
                    recorder.bytes(buf, got, smdhost::sim_clock::now());
                    session.at_offset(heard);
                    session.bytes(got);
                    heard += got;
                    session.process(buf, static_cast<unsigned>(got));
                    continue;
                }
                if (r == serial::SerialLine::ReadStatus::gone) {
                    port.close();
                    session.notice("serial device " + opts.serial + " lost (" + error +
                                   "); reopening");
                    recorder.comment("serial device lost: " + error);
                    service.status("serial device " + opts.serial + " lost (" + error +
                                   "); reopening; " + records.text());
                    line_lost = true;
                    backoff = kFirstRetry;
                    retry_at = monotonic_now() + backoff;
                }
                break;
            }
        } else if (!port.is_open() && monotonic_now() >= retry_at) {
            if (port.open_device(opts.serial, settings, error)) {
                session.notice("serial device " + opts.serial + " back");
                recorder.comment("serial device back");
                service.status(listening + "; " + records.text());
                line_lost = false;
            } else {
                // Retries stay quiet: the loss was reported once.
                backoff = std::min(backoff * 2.0, kLongestRetry);
                retry_at = monotonic_now() + backoff;
            }
        }

        const double after = monotonic_now();
        if (after >= next_refresh) {
            recorder.directive("!refresh", smdhost::sim_clock::now());
            for (smdsession::DeviceUnit* u : session.running())
                u->guarded("refresh", [&] { u->hub->call("refresh", u->device->RefreshStatus()); });
            // A stalled process does not make up for missed seconds.
            next_refresh += kRefreshPeriod;
            if (next_refresh <= after) next_refresh = after + kRefreshPeriod;
        }
        if (after >= next_reset) {
            recorder.directive("!reset", smdhost::sim_clock::now());
            for (smdsession::DeviceUnit* u : session.running())
                u->guarded("reset", [&] { u->hub->call("reset", u->device->Reset()); });
            next_reset += opts.reset_every;
            if (next_reset <= after) next_reset = after + opts.reset_every;
        }
        if (after >= next_status && !line_lost && service.active()) {
            service.status(listening + "; " + records.text());
            next_status = after + kStatusPeriod;
        }
        // A silence is told once it is longer than three cycles.
        session.tick();
        for (smdsession::DeviceUnit* u : session.running()) u->hub->flush();
        recorder.flush();
    }

    // Stopped (a signal, or an output that cannot be written): the cycle in
    // progress and the line's summary come first, then the broker hears
    // "offline".
    service.stopping();
    session.finish();
    if (mqtt) mqtt->stop();
    // A recording that could not be written whole is a failure, told once.
    const bool recorded = recorder.close();
    if (!recorded) std::cerr << "smdhost: " << recorder.error() << std::endl;
    return recorded ? session.status() : smdsession::kExitFailure;
}

}  // namespace smdlisten
