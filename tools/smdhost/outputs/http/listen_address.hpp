// Where the HTTP server listens: "PORT", ":PORT", "HOST:PORT" or
// "[IPV6]:PORT". Without a host it is 127.0.0.1: a wider address (0.0.0.0,
// ::, a LAN address) only when one is given.
#pragma once

#include <stdexcept>
#include <string>

namespace smdhttp {

struct ListenAddress {
    std::string host = "127.0.0.1";  // numeric address or host name, without brackets
    int port = 0;                    // 0: any free port (tests)
};

// Throws std::invalid_argument naming the text and what is wrong with it
// (no port, a port outside 1-65535, an empty or malformed host).
ListenAddress parse_listen_address(const std::string& text);

// "HOST:PORT", with brackets around an IPv6 address.
std::string to_string(const ListenAddress& address);

}  // namespace smdhttp
