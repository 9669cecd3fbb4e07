// --mqtt for a session: one MqttSink per device the session makes, each
// with its own connection, last will and topic root:
//
//   mqtt://HOST[:PORT]            root pxr52/DATAID
//   mqtt://HOST[:PORT]/ROOT       root ROOT; with several devices ROOT/DATAID
//
// so that every device's topics are its own (data ids differ by rule).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/smdhost/outputs/mqtt/mqtt_url.hpp"
#include "tools/smdhost/outputs/mqtt_sink.hpp"

namespace smdsession {
class Session;
struct DeviceRef;
}  // namespace smdsession

namespace smdevents {

class MqttOutput {
public:
    // Throws std::invalid_argument for a URL parse_mqtt_url refuses (the
    // command line has checked it).
    explicit MqttOutput(const std::string& url);
    ~MqttOutput();  // stop()
    MqttOutput(const MqttOutput&) = delete;
    MqttOutput& operator=(const MqttOutput&) = delete;

    // Before session.start(): a sink for every device it makes, connecting
    // at once. The output must outlive the session.
    void attach(smdsession::Session& session);

    // After the session's finish(): every sink drains and says "offline".
    void stop();

    // The topic root of a device.
    std::string root_for(const smdsession::DeviceRef& device) const;

private:
    smdmqtt::MqttUrl url_;
    std::vector<std::unique_ptr<MqttSink>> sinks_;
};

}  // namespace smdevents
