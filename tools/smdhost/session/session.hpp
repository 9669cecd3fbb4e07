// One bench-host session: the loaded plug-in, its devices on the recording
// host layer (one, or one per --device, each with its own configuration,
// host state, events and line observer), and where their events go. Shared
// by replay and listen.
//
// Several devices: every device's protocol engine hears the whole line and
// keeps the frames of its own address (and every bad frame, whose address
// cannot be trusted), which is routing by ADR without a second framing of
// what the engines already frame; the session counts the good frames of
// addresses with no device. Each device's events are written as they come,
// "adr" on every JSON event, the text view's lines prefixed with the device.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include <json/value.h>

#include "host/pmbus_protocol.hpp"
#include "tools/smdhost/cli/cli.hpp"
#include "tools/smdhost/session/address_census.hpp"
#include "tools/smdhost/session/device_ref.hpp"
#include "tools/smdhost/session/device_unit.hpp"
#include "tools/smdhost/session/events.hpp"
#include "tools/smdhost/records/history_store.hpp"
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

    // Reads the configuration(s), opens the history store (--history),
    // captures standard output, loads the plug-in, creates each device,
    // gives it the host state, calls InitSetting and, with --restore, hands
    // the newest stored record of its data id to LoadFromCache. Returns
    // kExitOk, or kExitFailure (kExitUsage for two --device configurations
    // of one data id) after printing why on standard error.
    // With --device, a device whose InitSetting throws (a bad threshold file,
    // say) is reported on standard error and left out of the run while the
    // others run (status() is then kExitFailure); when none starts, start()
    // fails. Its hooks have been called: its hub then gets one notice for
    // its observers ("left out of the run: ...") and no further event, and
    // stays valid until the session ends.
    // `replay`: frames may end with LF as well as CR.
    int start(const smdcli::Options& opts, bool replay);

    // Registered before start(): called for every device start() makes.
    void on_device(DeviceHook hook) { device_hooks_.push_back(std::move(hook)); }

    // The first running device (the one device without --device).
    DeviceUnit& unit() { return *running_.front(); }
    SMDSPDevice& device() { return *unit().device; }
    PMBusProtocol& protocol() { return *unit().protocol; }
    smdevents::EventHub& hub() { return *unit().hub; }
    // The line observer beside the first device (made by start()).
    LineWatch& line() { return *unit().watch; }
    const Json::Value& config() { return unit().config; }
    bool json() const { return json_; }

    // The devices that run, in --device order.
    const std::vector<DeviceUnit*>& running() const { return running_; }
    // More than one device was configured (outputs name the device).
    bool several() const { return units_.size() > 1; }
    // Devices were given with --device (scenario directives may name them).
    bool by_address() const { return by_address_; }
    // Addresses of the --device options, running or not.
    const std::set<int>& addresses() const { return addresses_; }

    // ---- the line, for every device
    // Bytes heard: every device's engine frames them (an exception from the
    // device becomes its "frame" call event).
    void process(unsigned char* data, unsigned len);
    // Where the next process() call's bytes come from, and how many came
    // (the line observers, session/line_watch.hpp).
    void at_line(const std::string& file, int line);
    void at_offset(unsigned long long offset);
    void bytes(std::size_t n);
    // The clock moved.
    void tick();
    // Something about the whole line (listen: the serial device lost and
    // back): told once on the output, and to every device's observers.
    void notice(const std::string& text);

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
        return history_failed_ || left_out_ || out_.failed() ? kExitFailure : kExitOk;
    }

private:
    // Reads the configurations into units_; kExitOk or the status.
    int read_configs(const smdcli::Options& opts);
    // Makes the unit's sink and hub on the session's output.
    void make_events(DeviceUnit& u, const smdcli::Options& opts);
    // Creates the unit's device, calls the hooks and InitSetting. kExitOk,
    // with `init_failed` and `why` set when InitSetting threw; kExitFailure
    // with the reason printed when the plug-in made no usable device.
    int make_device(DeviceUnit& u, const smdcli::Options& opts, bool replay, bool& init_failed,
                    std::string& why);
    // Stores a saved record (the history tap); a failure is reported at once
    // and remembered for the exit status.
    void store(DeviceUnit& u, const smdhost::HostEvent& e);
    void restore(DeviceUnit& u);

    std::vector<DeviceHook> device_hooks_;
    std::unique_ptr<smdhistory::HistoryStore> history_;
    bool history_failed_ = false;
    unsigned long long records_lost_ = 0;  // saved by the plug-in, not stored
    bool finished_ = false;
    bool left_out_ = false;  // a device was left out of the run
    bool by_address_ = false;
    std::set<int> addresses_;
    smdout::LogCapture capture_;
    smdout::Output out_;
    bool json_ = true;
    // Several devices: where line-wide notices are written (unprefixed).
    std::unique_ptr<smdevents::EventSink> line_sink_;
    std::unique_ptr<AddressCensus> census_;
    // Declared before the devices: the library is unloaded after the devices
    // it made are destroyed.
    smdplugin::LoadedPlugin plugin_;
    std::vector<std::unique_ptr<DeviceUnit>> units_;
    std::vector<DeviceUnit*> running_;
};

}  // namespace smdsession
