// What an HTTP handler sees and returns: plain values, so handlers need no
// HTTP library and can be tested without a socket.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace smdhttp {

struct HttpRequest {
    std::string method;                              // "GET" or "HEAD"
    std::string path;                                // decoded, without the query
    std::multimap<std::string, std::string> params;  // query parameters, decoded
    std::vector<std::string> captures;               // the route pattern's groups
    std::string remote;                              // peer address

    // The first value of parameter `name`, or `fallback`.
    std::string param(const std::string& name, const std::string& fallback = std::string()) const;
};

struct HttpReply {
    int status = 200;
    std::string content_type = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // extra response headers

    static HttpReply text(std::string body, int status = 200);
    static HttpReply json(std::string body, int status = 200);
    // A plain-text error: the message and a line end.
    static HttpReply error(int status, const std::string& message);
};

// Runs on a server thread: it may read only what the producer published for
// readers (see published.hpp), never the producer's own state.
using HttpHandler = std::function<HttpReply(const HttpRequest&)>;

}  // namespace smdhttp
