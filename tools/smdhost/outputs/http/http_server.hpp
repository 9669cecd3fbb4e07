// The monitor's read-only HTTP server (cpp-httplib underneath).
//
//   smdhttp::HttpServer server(smdhttp::parse_listen_address("127.0.0.1:9752"));
//   server.route("/metrics", [&](const smdhttp::HttpRequest&) { ... });
//   server.events("/events", hub);
//   server.files("/", smdhttp::StaticFiles("/usr/share/tarnel-pxr52/dashboard"));
//   server.start();   // bound and serving when it returns
//   ...
//   server.stop();    // every thread joined when it returns
//
// Only GET and HEAD are served; any other method gets 405 and a request with
// a body 413, so nothing that arrives here can change anything. Bounded in
// every direction, so that a slow or hostile client costs a bounded share of
// the server and nothing of the thread that feeds it:
// - at most `max_clients` connections are served at once, each by a thread
//   of a fixed pool; a further connection gets 503 at once;
// - the request line and headers must fit in `max_request_bytes` (431
//   otherwise; a single line over 8 KiB gets 400, a target over 8 KiB 414
//   from the library) and arrive within `request_timeout` (408);
// - every wait for a client's bytes or for room to send is limited by
//   `read_timeout` or `write_timeout`: a client that stops reading is cut off;
// - an idle kept-alive connection is closed after `keep_alive_timeout`.
// Handlers run on server threads: they read only snapshots published for them
// (published.hpp, SseHub::publish), never the producer's state.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "tools/smdhost/outputs/http/http_types.hpp"
#include "tools/smdhost/outputs/http/listen_address.hpp"
#include "tools/smdhost/outputs/http/sse_hub.hpp"
#include "tools/smdhost/outputs/http/static_files.hpp"

namespace smdhttp {

struct HttpLimits {
    std::size_t max_clients = 8;
    std::size_t max_request_bytes = 16 * 1024;
    std::chrono::milliseconds read_timeout{5000};
    std::chrono::milliseconds request_timeout{10000};
    std::chrono::milliseconds write_timeout{5000};
    std::chrono::milliseconds keep_alive_timeout{5000};
    std::size_t keep_alive_requests = 100;
    std::chrono::milliseconds event_heartbeat{15000};  // comment line on an idle event stream
};

class HttpServer {
public:
    explicit HttpServer(ListenAddress where, HttpLimits limits = {});
    ~HttpServer();  // stop()
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Routes, tried in the order given; register them all before start().
    // `pattern` is a regular expression for the whole decoded path; its
    // groups arrive as HttpRequest::captures. A handler that throws gets 500.
    void route(const std::string& pattern, HttpHandler handler);
    // A server-sent event stream of `hub` at `path`; the hub must outlive
    // the server, and stop() closes it. Its max_clients must stay below
    // max_clients here, so that streams never take every connection. Each
    // stream starts with "retry: 3000" and carries a comment line when idle
    // for `event_heartbeat`.
    void events(const std::string& path, SseHub& hub);
    // The files of `files` below `prefix` ("/" or "/vendor/chart.js/").
    void files(const std::string& prefix, StaticFiles files);
    // A header sent with every response (a Content-Security-Policy);
    // before start().
    void default_header(const std::string& name, const std::string& value);

    // Binds and starts serving; returns the bound port. Throws
    // std::runtime_error naming the address when it cannot listen there, and
    // std::logic_error when an event hub's limit leaves no connection free.
    int start();
    // Closes the listening socket, cuts every connection and joins every
    // thread; idempotent.
    void stop();

    int port() const;

    struct Stats {
        std::uint64_t accepted = 0;  // connections taken
        std::uint64_t refused = 0;   // connections answered 503: all were busy
        std::uint64_t requests = 0;  // requests answered
        std::size_t active = 0;      // connections being served or waiting for a thread
    };
    Stats stats() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace smdhttp
