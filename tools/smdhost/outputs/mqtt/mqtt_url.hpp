// The broker of --mqtt: mqtt://HOST[:PORT][/ROOT].
//
//   mqtt://127.0.0.1                 port 1883, root left to the caller
//   mqtt://broker.site:1884/site/a   topics under "site/a/"
//   mqtt://[fd00::5]/pxr52/7         an IPv6 broker
//
// HOST is a host name, an IPv4 address or a bracketed IPv6 address; PORT
// 1-65535. ROOT is a topic prefix: percent-escapes are decoded, one trailing
// "/" is dropped, and it must be valid UTF-8 without wildcards ("+", "#"),
// empty levels, control characters or a leading "$" (the broker's own
// topics). Not supported, and refused by name: TLS (mqtts://), websockets,
// a user or password in the URL, a query or fragment.
#pragma once

#include <stdexcept>
#include <string>

namespace smdmqtt {

struct MqttUrl {
    std::string host;
    int port = 1883;
    std::string root;  // empty when the URL names none
};

// Throws std::invalid_argument: "MQTT URL 'TEXT': what is wrong".
MqttUrl parse_mqtt_url(const std::string& text);

// True when `topic` may be published to: non-empty, valid UTF-8, no
// wildcard, no NUL or other control character, no empty level, at most
// 65535 bytes.
bool is_valid_topic(const std::string& topic);

// The root when the URL names none: "pxr52/DATAID".
std::string default_root(long long data_id);

}  // namespace smdmqtt
