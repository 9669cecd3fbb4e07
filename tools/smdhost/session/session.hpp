// One bench-host session: the configuration, the loaded plug-in, one device
// on the recording host layer, and where its events go. Shared by replay and
// listen.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <json/value.h>

#include "host/pmbus_protocol.hpp"
#include "tools/smdhost/cli/cli.hpp"
#include "tools/smdhost/session/device_ref.hpp"
#include "tools/smdhost/session/events.hpp"
#include "tools/smdhost/records/alarm_journal.hpp"
#include "tools/smdhost/records/history_store.hpp"
#include "tools/smdhost/session/alarm_tracker.hpp"
#include "tools/smdhost/session/host_config.hpp"
#include "tools/smdhost/session/line_watch.hpp"
#include "tools/smdhost/session/output.hpp"
#include "tools/smdhost/session/plugin_loader.hpp"
#include "tools/smdhost/outputs/text_view.hpp"

namespace smdsession {

// Exit statuses of smdhost.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // plug-in, configuration, start-up or device failure
constexpr int kExitUsage = 2;    // bad usage or a malformed scenario line

class Session {
public:
    Session() = default;
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Reads the configuration, opens the history store (--history), captures
    // standard output, loads the plug-in, creates the device, gives it the
    // host state, calls InitSetting and, with --restore, hands the newest
    // stored record to LoadFromCache. Returns kExitOk, or kExitFailure after
    // printing why on standard error.
    // `replay`: frames may end with LF as well as CR.
    int start(const smdcli::Options& opts, bool replay);

    // Registered before start(): called for every device start() makes.
    void on_device(DeviceHook hook) { device_hooks_.push_back(std::move(hook)); }
    // Registered before start(): with JSON events on standard output, each
    // line written there is also handed to `tap` (on the line's thread).
    void on_json_line(std::function<void(const std::string&)> tap) { json_tap_ = std::move(tap); }

    SMDSPDevice& device() { return *device_; }
    PMBusProtocol& protocol() { return *protocol_; }
    smdevents::EventHub& hub() { return *hub_; }
    // The line observer beside the device (made by start()).
    LineWatch& line() { return *watch_; }
    const Json::Value& config() const { return config_; }
    bool json() const { return json_; }

    // Ends the line observer (its totals: the "line" event, the text
    // view's summary), passes the last captured output on, flushes the
    // events and reports on standard error what failed on the way (the
    // output, records not stored).
    void finish();

    // The events could not be written (a full disk, /dev/full): the run stops.
    bool output_failed() const { return out_.failed(); }

    // Exit status of a session that ran to its end: kExitFailure when the
    // events could not be written or a record could not be stored.
    int status() const {
        return history_failed_ || out_.failed() ? kExitFailure : kExitOk;
    }

private:
    // Stores a saved record (the history tap); a failure is reported at once
    // and remembered for the exit status.
    void store(const smdhost::HostEvent& e);
    // Keeps the host's alarm raises and clears beside the records.
    void journal(const smdhost::HostEvent& e);
    void restore();

    std::vector<DeviceHook> device_hooks_;
    std::function<void(const std::string&)> json_tap_;
    Json::Value config_{Json::objectValue};
    std::unique_ptr<smdhistory::HistoryStore> history_;
    bool history_failed_ = false;
    std::unique_ptr<smdhistory::AlarmJournal> alarm_journal_;
    AlarmTracker alarm_tracker_;
    unsigned long long records_lost_ = 0;  // saved by the plug-in, not stored
    bool finished_ = false;
    smdconfig::HostSettings host_;
    smdout::LogCapture capture_;
    smdout::Output out_;
    bool json_ = true;
    std::unique_ptr<smdevents::EventSink> sink_;
    smdevents::TextSink* text_ = nullptr;
    std::unique_ptr<smdevents::EventHub> hub_;
    // Declared before the device: the library is unloaded after the device
    // it made is destroyed.
    smdplugin::LoadedPlugin plugin_;
    smdplugin::DevicePtr device_;
    PMBusProtocol* protocol_ = nullptr;
    // After the device: detached from it before the device goes.
    std::unique_ptr<LineWatch> watch_;
};

}  // namespace smdsession
