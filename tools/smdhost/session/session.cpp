#include "tools/smdhost/session/session.hpp"

#include <exception>
#include <iostream>

#include <unistd.h>

#include "host/sim_clock.hpp"
#include "tools/smdhost/outputs/json_events.hpp"
#include "tools/smdhost/records/record_values.hpp"

namespace smdsession {

namespace {

int fail(const std::string& message) {
    std::cerr << "smdhost: " << message << std::endl;
    return kExitFailure;
}

}  // namespace

Session::~Session() {
    watch_.reset();
    if (device_) device_->host_listener = nullptr;
    device_.reset();
    capture_.stop();
}

int Session::start(const smdcli::Options& opts, bool replay) {
    std::string error;
    if (!opts.config.empty()) {
        if (!smdconfig::load_config(opts.config, config_, error)) return fail(error);
    }
    if (!smdconfig::read_host_settings(config_, host_, error))
        return fail((opts.config.empty() ? std::string("configuration") : opts.config) + ": " +
                    error);

    if (!opts.history.empty()) {
        history_ = std::make_unique<smdhistory::HistoryStore>();
        if (!history_->open_for_writing(opts.history, error)) return fail(error);
    }

    json_ = opts.format == smdcli::Format::json ||
            (opts.format == smdcli::Format::automatic && isatty(STDOUT_FILENO) == 0);

    // From here on nothing but events reaches the real standard output.
    const int real_stdout = capture_.start(error);
    if (real_stdout < 0) return fail(error);
    out_.set_fd(real_stdout);
    // Every event leaves at once: if the plug-in crashes, what led up to it
    // has been written.
    out_.set_autoflush(true);
    if (json_) {
        sink_ = std::make_unique<smdevents::JsonSink>(out_, opts.diagnostics);
    } else {
        auto text = std::make_unique<smdevents::TextSink>(out_, opts.verbose);
        text_ = text.get();
        sink_ = std::move(text);
    }
    hub_ = std::make_unique<smdevents::EventHub>(*sink_, &capture_);
    hub_->set_tap([this](const smdhost::HostEvent& e) {
        if (e.kind == smdhost::HostEvent::Kind::publish && watch_) watch_->published();
        if (history_) store(e);
    });

    const std::string path = opts.plugin.empty() ? smdplugin::default_plugin_path() : opts.plugin;
    if (!plugin_.load(path, error)) {
        hub_->flush();
        return fail(error);
    }
    device_.reset(plugin_.create(error));
    if (!device_) {
        hub_->flush();
        return fail(error);
    }
    protocol_ = dynamic_cast<PMBusProtocol*>(device_.get());
    if (protocol_ == nullptr) {
        hub_->flush();
        return fail("the plug-in's device does not run on the host's protocol engine");
    }
    device_->host_listener = hub_.get();
    smdconfig::apply_host_settings(host_, *device_);
    protocol_->accept_lf_eoi = replay;
    protocol_->address_filter = opts.address;
    watch_ = std::make_unique<LineWatch>(*hub_, *protocol_, opts.verbose && !json_);
    if (text_ != nullptr) {
        text_->set_device(device_.get());
        text_->set_round_label([this] { return watch_->round_label(); });
    }
    if (!device_hooks_.empty()) {
        DeviceRef ref;
        ref.address = opts.address;
        ref.data_id = static_cast<std::uint32_t>(device_->DataId());
        ref.config_path = opts.config;
        ref.hub = hub_.get();
        ref.device = device_.get();
        for (const DeviceHook& hook : device_hooks_) hook(ref);
    }

    try {
        const int result = device_->InitSetting(config_);
        hub_->call("init", result);
    } catch (const std::exception& e) {
        hub_->call("init", 0, e.what()[0] != '\0' ? e.what() : "exception");
        hub_->flush();
        return fail(std::string("InitSetting failed: ") + e.what());
    } catch (...) {
        hub_->call("init", 0, "unknown exception");
        hub_->flush();
        return fail("InitSetting failed with an unknown exception");
    }
    if (opts.restore) restore();
    return kExitOk;
}

void Session::store(const smdhost::HostEvent& e) {
    if (e.kind != smdhost::HostEvent::Kind::history || !device_) return;
    if (!history_ || history_->vanished()) {
        // Told once when it vanished; counted from then on.
        if (history_failed_) ++records_lost_;
        return;
    }
    std::string error;
    if (!history_->save(device_->DataId(), smdhost::sim_clock::now(), e.bytes.data(),
                        e.bytes.size(), error)) {
        history_failed_ = true;
        ++records_lost_;
        hub_->notice("record not stored: " + error);
    }
}

void Session::restore() {
    smdhistory::StoredRecord r;
    bool found = false;
    std::string error;
    if (!history_->newest(device_->DataId(), r, found, error)) {
        history_failed_ = true;
        hub_->notice("nothing restored: " + error);
        return;
    }
    if (!found) {
        hub_->notice("no stored record of data id " + std::to_string(device_->DataId()) +
                     " to restore");
        return;
    }
    // The store is outside input: a row of another length is no record of
    // this device, and LoadFromCache is not the place to find that out.
    if (r.record.size() != smdrecords::kRecordSize) {
        hub_->notice("warning: stored record " + std::to_string(r.row) + " is " +
                     std::to_string(r.record.size()) + " bytes, not " +
                     std::to_string(smdrecords::kRecordSize) + ": not restored");
        return;
    }
    hub_->notice("restoring record " + std::to_string(r.row) + " saved at " + r.saved_at);
    watch_->set_loading(true);
    try {
        hub_->call("load", device_->LoadFromCache(r.record.data(),
                                                  static_cast<int>(r.record.size())));
    } catch (const std::exception& e) {
        hub_->call("load", 0, e.what()[0] != '\0' ? e.what() : "exception");
    } catch (...) {
        hub_->call("load", 0, "unknown exception");
    }
    watch_->set_loading(false);
}

void Session::finish() {
    if (!hub_ || finished_) return;
    finished_ = true;
    if (watch_) watch_->finish();
    hub_->pump_logs(true);
    hub_->flush();
    if (out_.failed()) std::cerr << "smdhost: " << out_.error() << std::endl;
    if (records_lost_ > 0 && history_)
        std::cerr << "smdhost: " << history_->path() << ": " << records_lost_
                  << (records_lost_ == 1 ? " saved record was" : " saved records were")
                  << " not stored" << std::endl;
}

}  // namespace smdsession
