#include "tools/smdhost/outputs/monitor/http_monitor.hpp"

#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <thread>

#include <signal.h>

#include "tools/smdhost/outputs/monitor/api_documents.hpp"
#include "tools/smdhost/outputs/monitor/dashboard_folder.hpp"
#include "tools/smdhost/outputs/monitor/history_api.hpp"
#include "tools/smdhost/outputs/monitor/metrics_page.hpp"
#include "tools/smdhost/outputs/prometheus/exposition.hpp"

namespace smdmonitor {

namespace {

// The page loads nothing from elsewhere and runs no inline script.
const char kContentSecurityPolicy[] =
    "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; object-src 'none'; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

volatile std::sig_atomic_t g_linger_stop = 0;
extern "C" void on_linger_signal(int) { g_linger_stop = 1; }

smdhttp::HttpReply json_reply(const Json::Value& v) {
    smdhttp::HttpReply r = smdhttp::HttpReply::json(json_text(v));
    r.headers.emplace_back("Cache-Control", "no-store");
    return r;
}

}  // namespace

HttpMonitor::HttpMonitor(const smdcli::Options& opts)
    : address_(opts.http), history_(opts.history), diagnostics_(opts.diagnostics) {}

HttpMonitor::~HttpMonitor() {
    if (server_) server_->stop();
    for (Device& d : devices_) {
        d.hub->remove_observer(*d.state);
        if (d.stream) d.hub->remove_observer(*d.stream);
    }
}

void HttpMonitor::attach(smdsession::Session& session) {
    if (!enabled()) return;
    // The events that standard output carries as JSON are streamed as they
    // are written; with the text view there, each device's are made here.
    session.on_json_line([this](const std::string& line) {
        if (events_.has_clients()) events_.publish(line);
    });
    session.on_device([this, &session](const smdsession::DeviceRef& ref) {
        Device d;
        d.state = std::make_unique<DeviceMonitor>(ref);
        d.hub = ref.hub;
        ref.hub->add_observer(*d.state);
        if (!session.json()) {
            d.stream = std::make_unique<EventStream>(events_, diagnostics_);
            ref.hub->add_observer(*d.stream);
        }
        devices_.push_back(std::move(d));
    });
}

const HttpMonitor::Device* HttpMonitor::device_for(const smdhttp::HttpRequest& req) const {
    if (devices_.empty()) return nullptr;
    const std::string want = req.param("device");
    if (want.empty()) return &devices_.front();
    for (const Device& d : devices_)
        if (std::to_string(d.state->ref().address) == want) return &d;
    return nullptr;
}

void HttpMonitor::add_routes() {
    using smdhttp::HttpReply;
    using smdhttp::HttpRequest;
    smdhttp::HttpServer& s = *server_;
    s.default_header("Content-Security-Policy", kContentSecurityPolicy);
    s.default_header("Referrer-Policy", "no-referrer");

    s.route("/metrics", [this](const HttpRequest&) {
        std::vector<DeviceSnapshot> all;
        for (const Device& d : devices_) all.push_back(d.state->snapshot());
        HttpReply r = HttpReply::text(metrics_page(all, std::chrono::steady_clock::now()));
        r.content_type = smdmetrics::kExpositionContentType;
        return r;
    });
    s.route("/api/devices", [this](const HttpRequest&) {
        Json::Value doc(Json::objectValue);
        Json::Value& list = doc["devices"] = Json::Value(Json::arrayValue);
        for (const Device& d : devices_) {
            const DeviceSnapshot snap = d.state->snapshot();
            Json::Value v(Json::objectValue);
            v["adr"] = address_json(snap.address);
            v["data_id"] = snap.data_id;
            v["label"] = device_label(snap);
            list.append(v);
        }
        return json_reply(doc);
    });
    s.route("/api/catalogue", [](const HttpRequest&) { return HttpReply::json(catalogue_document()); });

    // The documents of one device.
    auto per_device = [this](auto make) {
        return [this, make](const HttpRequest& req) {
            const Device* d = device_for(req);
            if (d == nullptr) return json_error(404, "no device at address '" + req.param("device") + "'");
            return make(req, d->state->snapshot(), std::chrono::steady_clock::now());
        };
    };
    s.route("/api/current", per_device([](const HttpRequest&, const DeviceSnapshot& d, SteadyTime now) {
        return json_reply(current_document(d, now));
    }));
    s.route("/api/alarms", per_device([](const HttpRequest&, const DeviceSnapshot& d, SteadyTime now) {
        return json_reply(alarms_document(d, now));
    }));
    s.route("/api/line", per_device([](const HttpRequest&, const DeviceSnapshot& d, SteadyTime) {
        return json_reply(line_document(d));
    }));
    s.route("/api/history", per_device([this](const HttpRequest& req, const DeviceSnapshot& d, SteadyTime now) {
        HttpReply r = history_reply(req, history_, d, now);
        r.headers.emplace_back("Cache-Control", "no-store");
        return r;
    }));
    s.route("/api/.*", [](const HttpRequest& req) { return json_error(404, "no such document: " + req.path); });
    s.events("/events", events_);

    try {
        s.files("/vendor/chart.js/", smdhttp::StaticFiles(kChartJsFolder));
    } catch (const std::runtime_error&) {
        std::cerr << "smdhost: warning: " << kChartJsFolder
                  << " not found (Debian package libjs-chart.js): the dashboard draws no plots" << std::endl;
    }
    const std::string dashboard = find_dashboard();
    if (!dashboard.empty()) {
        s.files("/", smdhttp::StaticFiles(dashboard));
    } else {
        std::string where;
        for (const auto& c : dashboard_candidates()) where += (where.empty() ? "" : ", ") + c;
        std::cerr << "smdhost: warning: no dashboard in " << where << ": / is not served" << std::endl;
        s.route("/", [where](const HttpRequest&) {
            return HttpReply::error(404, "the dashboard is not installed (looked in " + where + ")");
        });
    }
}

int HttpMonitor::start() {
    if (!enabled()) return smdsession::kExitOk;
    try {
        server_ = std::make_unique<smdhttp::HttpServer>(smdhttp::parse_listen_address(address_));
        add_routes();
        const int port = server_->start();
        smdhttp::ListenAddress bound = smdhttp::parse_listen_address(address_);
        bound.port = port;
        std::cerr << "smdhost: serving http://" << smdhttp::to_string(bound) << "/" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "smdhost: --http " << address_ << ": " << e.what() << std::endl;
        server_.reset();
        return smdsession::kExitFailure;
    }
    return smdsession::kExitOk;
}

void HttpMonitor::linger(double seconds) {
    if (!server_ || seconds <= 0) return;
    g_linger_stop = 0;
    struct sigaction sa {};
    struct sigaction old_int {};
    struct sigaction old_term {};
    sa.sa_handler = on_linger_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old_int);
    sigaction(SIGTERM, &sa, &old_term);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (g_linger_stop == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    sigaction(SIGINT, &old_int, nullptr);
    sigaction(SIGTERM, &old_term, nullptr);
}

}  // namespace smdmonitor
