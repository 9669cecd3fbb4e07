#include "tools/smdhost/session.hpp"

#include <exception>
#include <iostream>

#include <unistd.h>

#include "tools/smdhost/json_events.hpp"

namespace smdsession {

namespace {

int fail(const std::string& message) {
    std::cerr << "smdhost: " << message << std::endl;
    return kExitFailure;
}

}  // namespace

Session::~Session() {
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
        sink_ = std::make_unique<smdevents::JsonSink>(out_);
    } else {
        auto text = std::make_unique<smdevents::TextSink>(out_, opts.verbose);
        text_ = text.get();
        sink_ = std::move(text);
    }
    hub_ = std::make_unique<smdevents::EventHub>(*sink_, &capture_);

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
    if (text_ != nullptr) text_->set_device(device_.get());

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
    return kExitOk;
}

void Session::finish() {
    if (!hub_) return;
    hub_->pump_logs(true);
    hub_->flush();
}

}  // namespace smdsession
