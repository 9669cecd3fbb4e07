#include "tools/smdhost/session/session.hpp"

#include <cstdio>
#include <exception>
#include <iostream>
#include <map>

#include <unistd.h>

#include "host/sim_clock.hpp"
#include "tools/smdhost/outputs/json_events.hpp"
#include "tools/smdhost/records/record_values.hpp"

namespace smdsession {

namespace {

int fail(const std::string& message, int status = kExitFailure) {
    std::cerr << "smdhost: " << message << std::endl;
    return status;
}

}  // namespace

Session::~Session() {
    running_.clear();
    units_.clear();
    capture_.stop();
}

int Session::read_configs(const smdcli::Options& opts) {
    by_address_ = !opts.devices.empty();
    std::vector<smdcli::DeviceOption> given = opts.devices;
    if (given.empty()) {
        smdcli::DeviceOption one;
        one.address = opts.address;
        one.config = opts.config;
        given.push_back(one);
    }
    std::map<unsigned, const DeviceUnit*> by_id;
    std::string error;
    for (const smdcli::DeviceOption& dev : given) {
        auto u = std::make_unique<DeviceUnit>();
        u->address = dev.address;
        u->config_path = dev.config;
        if (!u->config_path.empty() && !smdconfig::load_config(u->config_path, u->config, error))
            return fail(error);
        if (!smdconfig::read_host_settings(u->config, u->host, error))
            return fail((u->config_path.empty() ? std::string("configuration") : u->config_path) +
                        ": " + error);
        if (by_address_) {
            // The plug-in finds its threshold file by data id, and the store
            // keeps records under it: two devices cannot share one.
            const auto other = by_id.find(u->host.data_id);
            if (other != by_id.end())
                return fail("--device " + dev.text() + ": data id " +
                                std::to_string(u->host.data_id) + " is also that of --device " +
                                std::to_string(other->second->address) + "=" +
                                other->second->config_path + "; each device needs its own "
                                "(\"host\": {\"dataId\": N})",
                            kExitUsage);
            addresses_.insert(u->address);
            by_id[u->host.data_id] = u.get();
        }
        units_.push_back(std::move(u));
    }
    return kExitOk;
}

void Session::make_events(DeviceUnit& u, const smdcli::Options& opts) {
    if (json_) {
        auto sink = std::make_unique<smdevents::JsonSink>(out_, opts.diagnostics);
        if (several()) sink->set_address(u.address);
        u.sink = std::move(sink);
    } else {
        auto text = std::make_unique<smdevents::TextSink>(out_, opts.verbose);
        if (several())
            text->set_prefix("adr " + std::to_string(u.address) + " id " +
                             std::to_string(u.host.data_id) + " | ");
        u.text = text.get();
        u.sink = std::move(text);
    }
    u.hub = std::make_unique<smdevents::EventHub>(*u.sink, &capture_);
    DeviceUnit* unit = &u;
    u.hub->set_tap([this, unit](const smdhost::HostEvent& e) {
        if (e.kind == smdhost::HostEvent::Kind::publish && unit->watch) unit->watch->published();
        if (history_) store(*unit, e);
        if (alarm_journal_) journal(*unit, e);
    });
}

int Session::make_device(DeviceUnit& u, const smdcli::Options& opts, bool replay,
                         bool& init_failed, std::string& why) {
    std::string error;
    u.device.reset(plugin_.create(error));
    if (!u.device) {
        u.hub->flush();
        return fail(error);
    }
    u.protocol = dynamic_cast<PMBusProtocol*>(u.device.get());
    if (u.protocol == nullptr) {
        u.hub->flush();
        return fail("the plug-in's device does not run on the host's protocol engine");
    }
    u.device->host_listener = u.hub.get();
    smdconfig::apply_host_settings(u.host, *u.device);
    u.protocol->accept_lf_eoi = replay;
    u.protocol->address_filter = u.address;
    u.watch = std::make_unique<LineWatch>(*u.hub, *u.protocol, opts.verbose && !json_);
    if (u.text != nullptr) {
        u.text->set_device(u.device.get());
        LineWatch* watch = u.watch.get();
        u.text->set_round_label([watch] { return watch->round_label(); });
    }
    if (!device_hooks_.empty()) {
        DeviceRef ref;
        ref.address = u.address;
        ref.data_id = static_cast<std::uint32_t>(u.device->DataId());
        ref.config_path = u.config_path;
        ref.config = &u.config;
        ref.several = several();
        ref.hub = u.hub.get();
        ref.device = u.device.get();
        for (const DeviceHook& hook : device_hooks_) hook(ref);
    }

    init_failed = false;
    try {
        const int result = u.device->InitSetting(u.config);
        u.hub->call("init", result);
        return kExitOk;
    } catch (const std::exception& e) {
        u.hub->call("init", 0, e.what()[0] != '\0' ? e.what() : "exception");
        why = std::string("InitSetting failed: ") + e.what();
    } catch (...) {
        u.hub->call("init", 0, "unknown exception");
        why = "InitSetting failed with an unknown exception";
    }
    init_failed = true;
    u.hub->flush();
    return kExitOk;
}

int Session::start(const smdcli::Options& opts, bool replay) {
    std::string error;
    const int read = read_configs(opts);
    if (read != kExitOk) return read;

    if (!opts.history.empty()) {
        history_ = std::make_unique<smdhistory::HistoryStore>();
        if (!history_->open_for_writing(opts.history, error)) return fail(error);
        // A store written before the named values: say why this start took long.
        if (history_->migrated() > 0) {
            std::fprintf(stderr, "smdhost: %s: named values added to %zu stored records\n",
                         opts.history.c_str(), history_->migrated());
        }
        alarm_journal_ = std::make_unique<smdhistory::AlarmJournal>();
        if (!alarm_journal_->open(opts.history, error)) return fail(error);
    }

    json_ = opts.format == smdcli::Format::json ||
            (opts.format == smdcli::Format::automatic && isatty(STDOUT_FILENO) == 0);

    // From here on nothing but events reaches the real standard output.
    const int real_stdout = capture_.start(error);
    if (real_stdout < 0) return fail(error);
    out_.set_fd(real_stdout);
    if (json_ && json_tap_) out_.set_line_tap(json_tap_);
    // Every event leaves at once: if the plug-in crashes, what led up to it
    // has been written.
    out_.set_autoflush(true);
    for (auto& u : units_) make_events(*u, opts);
    if (several()) {
        if (json_)
            line_sink_ = std::make_unique<smdevents::JsonSink>(out_, opts.diagnostics);
        else
            line_sink_ = std::make_unique<smdevents::TextSink>(out_, opts.verbose);
    }

    DeviceUnit& first = *units_.front();
    const std::string path = opts.plugin.empty() ? smdplugin::default_plugin_path() : opts.plugin;
    if (!plugin_.load(path, error)) {
        first.hub->flush();
        return fail(error);
    }
    for (auto& u : units_) {
        bool init_failed = false;
        std::string why;
        const int made = make_device(*u, opts, replay, init_failed, why);
        if (made != kExitOk) return made;
        if (!init_failed) {
            u->running = true;
            running_.push_back(u.get());
            continue;
        }
        if (!by_address_) return fail(why);
        // One device's failure is its own: the others run.
        left_out_ = true;
        std::cerr << "smdhost: " << u->name() << ": " << why << "; left out of the run"
                  << std::endl;
        u->hub->observers_notice("left out of the run: " + why);
    }
    if (running_.empty()) return fail("no device started");
    // -v: each frame dissected once, by its device; a bad one by the first.
    if (several())
        for (DeviceUnit* u : running_) u->watch->set_dissection_scope(false, u == running_.front());
    if (by_address_) {
        std::set<int> heard;
        for (const DeviceUnit* u : running_) heard.insert(u->address);
        census_ = std::make_unique<AddressCensus>(heard, replay);
        for (DeviceUnit* u : running_) u->watch->set_no_device(&census_->unrouted());
    }
    if (opts.restore)
        for (DeviceUnit* u : running_) restore(*u);
    return kExitOk;
}

void Session::process(unsigned char* data, unsigned len) {
    if (census_) census_->bytes(data, len);
    for (DeviceUnit* u : running_) u->guarded("frame", [&] { u->device->process(data, len); });
}

void Session::at_line(const std::string& file, int line) {
    for (DeviceUnit* u : running_) u->watch->at_line(file, line);
}

void Session::at_offset(unsigned long long offset) {
    for (DeviceUnit* u : running_) u->watch->at_offset(offset);
}

void Session::bytes(std::size_t n) {
    for (DeviceUnit* u : running_) u->watch->bytes(n);
}

void Session::tick() {
    for (DeviceUnit* u : running_) u->watch->tick();
}

void Session::notice(const std::string& text) {
    if (!line_sink_) {
        hub().notice(text);
        return;
    }
    hub().pump_logs();
    line_sink_->notice(text);
    for (DeviceUnit* u : running_) u->hub->observers_notice(text);
}

void Session::store(DeviceUnit& u, const smdhost::HostEvent& e) {
    if (e.kind != smdhost::HostEvent::Kind::history || !u.device) return;
    if (!history_ || history_->vanished()) {
        // Told once when it vanished; counted from then on.
        if (history_failed_) ++records_lost_;
        return;
    }
    std::string error;
    if (!history_->save(u.device->DataId(), smdhost::sim_clock::now(), e.bytes.data(),
                        e.bytes.size(), error)) {
        history_failed_ = true;
        ++records_lost_;
        u.hub->notice("record not stored: " + error);
    }
}

void Session::journal(DeviceUnit& u, const smdhost::HostEvent& e) {
    if (!u.device || e.kind != smdhost::HostEvent::Kind::batch) return;
    const double now = smdhost::sim_clock::now();
    const AlarmChanges changes =
        alarm_trackers_[&u].on_event(e, u.device->active_alarms, u.device->rule_values, now);
    std::string error;
    if (!alarm_journal_->record(u.device->DataId(), changes, now, error)) {
        // Told once; the records go on being stored.
        history_failed_ = true;
        u.hub->notice("alarms not stored from here on: " + error);
        alarm_journal_.reset();
    }
}

void Session::restore(DeviceUnit& u) {
    smdevents::EventHub& hub = *u.hub;
    smdhistory::StoredRecord r;
    bool found = false;
    std::string error;
    if (!history_->newest(u.device->DataId(), r, found, error)) {
        history_failed_ = true;
        hub.notice("nothing restored: " + error);
        return;
    }
    if (!found) {
        hub.notice("no stored record of data id " + std::to_string(u.device->DataId()) +
                   " to restore");
        return;
    }
    // The store is outside input: a row of another length is no record of
    // this device, and LoadFromCache is not the place to find that out.
    if (r.record.size() != smdrecords::kRecordSize) {
        hub.notice("warning: stored record " + std::to_string(r.row) + " is " +
                   std::to_string(r.record.size()) + " bytes, not " +
                   std::to_string(smdrecords::kRecordSize) + ": not restored");
        return;
    }
    hub.notice("restoring record " + std::to_string(r.row) + " saved at " + r.saved_at);
    u.watch->set_loading(true);
    u.guarded("load", [&] {
        hub.call("load", u.device->LoadFromCache(r.record.data(), static_cast<int>(r.record.size())));
    });
    u.watch->set_loading(false);
}

void Session::finish() {
    if (running_.empty() || finished_) return;
    finished_ = true;
    for (DeviceUnit* u : running_) u->watch->finish();
    hub().pump_logs(true);
    for (DeviceUnit* u : running_) u->hub->flush();
    if (out_.failed()) std::cerr << "smdhost: " << out_.error() << std::endl;
    if (records_lost_ > 0 && history_)
        std::cerr << "smdhost: " << history_->path() << ": " << records_lost_
                  << (records_lost_ == 1 ? " saved record was" : " saved records were")
                  << " not stored" << std::endl;
}

}  // namespace smdsession
