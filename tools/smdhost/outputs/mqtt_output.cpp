#include "tools/smdhost/outputs/mqtt_output.hpp"

#include "host/smd_spdevice.hpp"
#include "tools/smdhost/session/session.hpp"

namespace smdevents {

MqttOutput::MqttOutput(const std::string& url) : url_(smdmqtt::parse_mqtt_url(url)) {}

MqttOutput::~MqttOutput() { stop(); }

std::string MqttOutput::root_for(const smdsession::DeviceRef& device) const {
    if (url_.root.empty()) return smdmqtt::default_root(device.data_id);
    return device.several ? url_.root + "/" + std::to_string(device.data_id) : url_.root;
}

void MqttOutput::attach(smdsession::Session& session) {
    session.on_device([this](const smdsession::DeviceRef& d) {
        smdmqtt::PublisherOptions o;
        o.host = url_.host;
        o.port = url_.port;
        o.root = root_for(d);
        // One connection per device: the client ids differ by data id.
        if (d.several) o.client_id = smdmqtt::default_client_id() + "-" + std::to_string(d.data_id);
        auto sink = std::make_unique<MqttSink>(std::move(o), *d.device);
        sink->start();
        d.hub->add_observer(*sink);
        sinks_.push_back(std::move(sink));
    });
}

void MqttOutput::stop() {
    for (auto& sink : sinks_) sink->stop();
}

}  // namespace smdevents
