#include "tools/smdhost/outputs/mqtt/mqtt_url.hpp"

#include <cctype>

#include "tools/smdhost/outputs/encoding/utf8.hpp"

namespace smdmqtt {
namespace {

[[noreturn]] void fail(const std::string& text, const std::string& why) {
    throw std::invalid_argument("MQTT URL '" + text + "': " + why);
}

bool starts_with_ci(const std::string& s, const std::string& head) {
    if (s.size() < head.size()) return false;
    for (std::size_t k = 0; k < head.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(s[k])) != head[k]) return false;
    return true;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percent_decode(const std::string& text, const std::string& part) {
    std::string out;
    for (std::size_t k = 0; k < part.size(); ++k) {
        if (part[k] != '%') {
            out += part[k];
            continue;
        }
        const int hi = k + 1 < part.size() ? hex_digit(part[k + 1]) : -1;
        const int lo = k + 2 < part.size() ? hex_digit(part[k + 2]) : -1;
        if (hi < 0 || lo < 0) fail(text, "'%' not followed by two hex digits in the root");
        out += static_cast<char>(hi * 16 + lo);
        k += 2;
    }
    return out;
}

void parse_host_port(const std::string& text, const std::string& authority, MqttUrl& url) {
    std::string port;
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos) fail(text, "no ']' after the IPv6 address");
        url.host = authority.substr(1, close - 1);
        for (char c : url.host)
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.')
                fail(text, "'" + url.host + "' is not an IPv6 address");
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') fail(text, "unexpected text after ']'");
            port = authority.substr(close + 2);
            if (port.empty()) fail(text, "no port after ':'");
        }
    } else {
        const std::size_t colon = authority.find(':');
        url.host = authority.substr(0, colon);
        if (colon != std::string::npos) {
            port = authority.substr(colon + 1);
            if (port.empty()) fail(text, "no port after ':'");
        }
        for (char c : url.host)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
                fail(text, "'" + url.host + "' is not a host name or address");
    }
    if (url.host.empty()) fail(text, "no host");
    if (!port.empty()) {
        if (port.size() > 5) fail(text, "port " + port + " is not in 1-65535");
        for (char c : port)
            if (!std::isdigit(static_cast<unsigned char>(c))) fail(text, "port '" + port + "' is not a number");
        url.port = std::stoi(port);
        if (url.port < 1 || url.port > 65535) fail(text, "port " + port + " is not in 1-65535");
    }
}

}  // namespace

bool is_valid_topic(const std::string& topic) {
    if (topic.empty() || topic.size() > 65535 || !smdtext::is_valid_utf8(topic)) return false;
    if (topic.front() == '/' || topic.back() == '/' || topic.find("//") != std::string::npos) return false;
    for (char c : topic) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '+' || c == '#' || u < 0x20 || u == 0x7F) return false;
    }
    return true;
}

MqttUrl parse_mqtt_url(const std::string& text) {
    if (starts_with_ci(text, "mqtts://") || starts_with_ci(text, "ssl://"))
        fail(text, "TLS is not supported; use mqtt:// (a local broker, or a bridge that adds TLS)");
    if (starts_with_ci(text, "ws://") || starts_with_ci(text, "wss://")) fail(text, "websockets are not supported");
    if (!starts_with_ci(text, "mqtt://")) fail(text, "must start with mqtt://");
    const std::string rest = text.substr(7);
    if (rest.find('?') != std::string::npos) fail(text, "a query ('?') is not supported");
    const std::size_t slash = rest.find('/');
    const std::string authority = rest.substr(0, slash);
    if (authority.find('@') != std::string::npos)
        fail(text, "a user name or password in the URL is not supported");
    MqttUrl url;
    parse_host_port(text, authority, url);
    if (slash == std::string::npos) return url;
    std::string root = rest.substr(slash + 1);
    if (root.find('#') != std::string::npos) fail(text, "'#' (a wildcard, or a fragment) in the root");
    root = percent_decode(text, root);
    if (!root.empty() && root.back() == '/') root.pop_back();
    if (root.empty()) return url;
    if (root[0] == '$') fail(text, "a root starting with '$' names the broker's own topics");
    if (root.find_first_of("+#") != std::string::npos) fail(text, "wildcards ('+', '#') in the root");
    if (!smdtext::is_valid_utf8(root)) fail(text, "the root is not valid UTF-8");
    if (root.size() > 1024) fail(text, "the root is longer than 1024 bytes");
    if (!is_valid_topic(root)) fail(text, "the root has an empty level or a control character");
    url.root = root;
    return url;
}

std::string default_root(long long data_id) { return "pxr52/" + std::to_string(data_id); }

}  // namespace smdmqtt
