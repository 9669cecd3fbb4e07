// The monitor's HTTP side (--http): the server, the state of each device
// it follows, and the routes.
//
//   smdsession::Session session;
//   smdmonitor::HttpMonitor http(opts);   // after the session: goes first
//   http.attach(session);                 // before session.start()
//   session.start(opts, ...);
//   http.start();                         // serving when it returns
//   ... the input runs ...
//   http.linger(opts.linger);             // replay: serve the end state a while
//
// Every route is read-only: GET and HEAD of documents made from copies of
// the devices' state; nothing reaches the plug-in. Without --http none of
// it exists and nothing is attached.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/smdhost/cli/cli.hpp"
#include "tools/smdhost/outputs/http/http_server.hpp"
#include "tools/smdhost/outputs/http/sse_hub.hpp"
#include "tools/smdhost/outputs/monitor/device_monitor.hpp"
#include "tools/smdhost/outputs/monitor/event_stream.hpp"
#include "tools/smdhost/session/session.hpp"

namespace smdmonitor {

class HttpMonitor {
public:
    explicit HttpMonitor(const smdcli::Options& opts);
    // Stops the server, then leaves the devices' event hubs.
    ~HttpMonitor();
    HttpMonitor(const HttpMonitor&) = delete;
    HttpMonitor& operator=(const HttpMonitor&) = delete;

    bool enabled() const { return !address_.empty(); }

    // Follows every device the session makes.
    void attach(smdsession::Session& session);

    // Binds and serves; tells "smdhost: serving http://HOST:PORT/" on
    // standard error. kExitOk, or kExitFailure after saying why.
    int start();

    // Serves on for `seconds` (the input has ended), or until SIGINT or
    // SIGTERM.
    void linger(double seconds);

private:
    struct Device {
        std::unique_ptr<DeviceMonitor> state;
        std::unique_ptr<EventStream> stream;  // only beside the text view
        smdevents::EventHub* hub = nullptr;
    };

    void add_routes();
    // The device a request names (?device=ADR), the first without; null
    // when no device has that address.
    const Device* device_for(const smdhttp::HttpRequest& req) const;

    std::string address_;
    std::string history_;
    bool diagnostics_ = false;
    std::vector<Device> devices_;  // filled before start(), unchanged after
    smdhttp::SseHub events_;
    std::unique_ptr<smdhttp::HttpServer> server_;
};

}  // namespace smdmonitor
