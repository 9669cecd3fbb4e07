#include "tools/smdhost/outputs/http/listen_address.hpp"

#include <cctype>

namespace smdhttp {
namespace {

[[noreturn]] void fail(const std::string& text, const std::string& why) {
    throw std::invalid_argument("listen address '" + text + "': " + why);
}

int parse_port(const std::string& text, const std::string& digits) {
    if (digits.empty()) fail(text, "no port after the host");
    if (digits.size() > 5) fail(text, "port " + digits + " is not in 1-65535");
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c))) fail(text, "port '" + digits + "' is not a number");
    const int port = std::stoi(digits);
    if (port < 1 || port > 65535) fail(text, "port " + digits + " is not in 1-65535");
    return port;
}

bool host_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

}  // namespace

ListenAddress parse_listen_address(const std::string& text) {
    ListenAddress a;
    if (text.empty()) fail(text, "empty");
    if (text[0] == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos) fail(text, "no ']' after the IPv6 address");
        a.host = text.substr(1, close - 1);
        if (a.host.empty()) fail(text, "empty IPv6 address");
        for (char c : a.host)
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.')
                fail(text, "'" + a.host + "' is not an IPv6 address");
        if (close + 1 >= text.size() || text[close + 1] != ':') fail(text, "no ':PORT' after ']'");
        a.port = parse_port(text, text.substr(close + 2));
        return a;
    }
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        a.port = parse_port(text, text);
        return a;
    }
    if (text.find(':') != colon) fail(text, "an IPv6 address needs brackets: [ADDRESS]:PORT");
    if (colon > 0) {
        a.host = text.substr(0, colon);
        for (char c : a.host)
            if (!host_char(c)) fail(text, "'" + a.host + "' is not a host name or address");
    }
    a.port = parse_port(text, text.substr(colon + 1));
    return a;
}

std::string to_string(const ListenAddress& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

}  // namespace smdhttp
