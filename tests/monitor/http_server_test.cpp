// The HTTP server on a loopback port, driven with raw requests: what it
// serves, what it refuses, and its bounds under clients that misbehave.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <thread>

#include "system/external_services.hpp"
#include "tools/smdhost/outputs/http/http_server.hpp"
#include "tools/smdhost/outputs/http/published.hpp"

using namespace std::chrono_literals;
using smdhttp::HttpReply;
using smdhttp::HttpRequest;
using smdhttp::HttpServer;

namespace {

const char* const kChartJs = "/usr/share/javascript/chart.js";

int connect_to(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads until the peer closes (at most `seconds`).
std::string read_all(int fd, double seconds = 15.0) {
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    char buf[65536];
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

// One request on a new connection; everything the server sent until it closed.
std::string roundtrip(int port, const std::string& request) {
    const int fd = connect_to(port);
    if (fd < 0) return "<no connection>";
    std::size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    std::string out = read_all(fd);
    ::close(fd);
    return out;
}

std::string get(const std::string& target, const std::string& extra = "") {
    return "GET " + target + " HTTP/1.1\r\nHost: t\r\nConnection: close\r\n" + extra + "\r\n";
}

std::string body_of(const std::string& response) {
    const std::size_t p = response.find("\r\n\r\n");
    return p == std::string::npos ? "" : response.substr(p + 4);
}

}  // namespace

TEST(HttpServer, ServesWhatIsRegisteredAndRefusesEverythingElse) {
    smdtest::TempDir dir;
    ASSERT_EQ(std::system(("mkdir -p '" + dir.file("site") + "'").c_str()), 0);
    smdtest::write_file(dir.file("site/index.html"), "<h1>plant</h1>");
    smdtest::write_file(dir.file("secret"), "do not serve");
    ASSERT_EQ(access((std::string(kChartJs) + "/chart.min.js").c_str(), R_OK), 0)
        << "Chart.js not found in " << kChartJs << ": install the Debian package libjs-chart.js";

    smdhttp::Published<std::string> metrics;
    metrics.publish("pxr52_up 1\n");
    HttpServer server({"127.0.0.1", 0});
    server.route("/metrics", [&](const HttpRequest&) { return HttpReply::text(*metrics.get()); });
    server.route("/api/values/(\\w+)", [](const HttpRequest& r) {
        return HttpReply::json("{\"name\":\"" + r.captures.at(0) + "\",\"at\":\"" + r.param("at", "-") + "\"}");
    });
    server.route("/api/fail", [](const HttpRequest&) -> HttpReply { throw std::runtime_error("secret detail"); });
    server.files("/vendor/chart.js/", smdhttp::StaticFiles(kChartJs));
    server.files("/", smdhttp::StaticFiles(dir.file("site")));
    const int port = server.start();

    const std::string chart = smdtest::read_file(std::string(kChartJs) + "/chart.min.js");
    // Ranges are ignored: the whole file, not a response of 500 copies.
    std::string many_ranges = "Range: bytes=0-";
    for (int k = 0; k < 500; ++k) many_ranges += ",0-";
    many_ranges += "\r\n";
    struct Case {
        std::string request;
        const char* status;  // the status line's start
        std::string body;    // "" when not checked
        const char* header;  // a header line the response must carry, or ""
    };
    const std::vector<Case> cases = {
        {get("/metrics"), "HTTP/1.1 200", "pxr52_up 1\n", "Content-Type: text/plain"},
        {"HEAD /metrics HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n", "HTTP/1.1 200", "", "Content-Length: 11"},
        {get("/api/values/dc?at=2026-01-01"), "HTTP/1.1 200", "{\"name\":\"dc\",\"at\":\"2026-01-01\"}",
         "Content-Type: application/json"},
        {get("/api/fail"), "HTTP/1.1 500", "internal error\n", ""},
        {get("/"), "HTTP/1.1 200", "<h1>plant</h1>", "Content-Type: text/html; charset=utf-8"},
        {get("/vendor/chart.js/chart.min.js"), "HTTP/1.1 200", chart, "Content-Type: text/javascript"},
        {get("/vendor/chart.js/chart.min.js", many_ranges), "HTTP/1.1 200", chart, ""},
        {get("/missing.js"), "HTTP/1.1 404", "not found\n", ""},
        {get("/../secret"), "HTTP/1.1 404", "not found\n", ""},
        {get("/%2e%2e/secret"), "HTTP/1.1 404", "not found\n", ""},
        {get("/vendor/chart.js/..%2f..%2f..%2fetc/passwd"), "HTTP/1.1 404", "not found\n", ""},
        {"POST /metrics HTTP/1.1\r\nHost: t\r\nContent-Length: 5\r\n\r\nhello", "HTTP/1.1 405", "", "Allow: GET, HEAD"},
        {"PUT /metrics HTTP/1.1\r\nHost: t\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 405", "", ""},
        {"DELETE /metrics HTTP/1.1\r\nHost: t\r\n\r\n", "HTTP/1.1 405", "", ""},
        {"OPTIONS * HTTP/1.1\r\nHost: t\r\n\r\n", "HTTP/1.1 405", "", ""},
        {"BREW /metrics HTTP/1.1\r\nHost: t\r\n\r\n", "HTTP/1.1 400", "", ""},
        {get("/metrics", "Content-Length: 4\r\n") + "body", "HTTP/1.1 413", "", ""},
        {get("/metrics", "Transfer-Encoding: chunked\r\n") + "4\r\nbody\r\n0\r\n\r\n", "HTTP/1.1 413", "", ""},
        {get("/" + std::string(9000, 'a')), "HTTP/1.1 414", "", ""},
        {[] {
             std::string many;
             for (int k = 0; k < 2000; ++k) many += "X-Filler-" + std::to_string(k) + ": 0123456789\r\n";
             return get("/metrics", many);
         }(),
         "HTTP/1.1 431", "", ""},
    };
    for (const Case& c : cases) {
        const std::string r = roundtrip(port, c.request);
        const std::string what = c.request.substr(0, c.request.find('\r')).substr(0, 80);
        EXPECT_EQ(r.compare(0, std::strlen(c.status), c.status), 0) << what << " -> " << r.substr(0, 200);
        if (!c.body.empty()) {
            EXPECT_EQ(body_of(r), c.body) << what;
        }
        if (*c.header != '\0') {
            EXPECT_NE(r.find(std::string("\r\n") + c.header), std::string::npos) << what;
        }
        EXPECT_EQ(r.find("secret detail"), std::string::npos) << what;
        EXPECT_EQ(r.find("do not serve"), std::string::npos) << what;
    }
    server.stop();
}

TEST(HttpServer, ConnectionsBeyondTheLimitGet503UntilOneIsFree) {
    smdhttp::HttpLimits limits;
    limits.max_clients = 2;
    limits.read_timeout = 60s;  // the idle clients below hold their place for the whole test
    HttpServer server({"127.0.0.1", 0}, limits);
    server.route("/x", [](const HttpRequest&) { return HttpReply::text("x"); });
    const int port = server.start();

    const int idle1 = connect_to(port);
    const int idle2 = connect_to(port);
    ASSERT_TRUE(smdtest::eventually([&] { return server.stats().active == 2; }));
    const std::string busy = roundtrip(port, get("/x"));
    EXPECT_EQ(busy.compare(0, 12, "HTTP/1.1 503"), 0) << busy;
    EXPECT_NE(busy.find("Retry-After: 1"), std::string::npos);
    EXPECT_EQ(server.stats().refused, 1u);

    ::close(idle1);
    ASSERT_TRUE(smdtest::eventually([&] { return server.stats().active == 1; }));
    EXPECT_EQ(body_of(roundtrip(port, get("/x"))), "x");
    ::close(idle2);
    server.stop();  // returns: nothing left waiting
}

TEST(HttpServer, RequestHeadThatTakesTooLongGets408) {
    smdhttp::HttpLimits limits;
    limits.request_timeout = 300ms;
    HttpServer server({"127.0.0.1", 0}, limits);
    server.route("/x", [](const HttpRequest&) { return HttpReply::text("x"); });
    const int port = server.start();
    const int fd = connect_to(port);
    const std::string part = "GET /x HTTP/1.1\r\nHost: t\r\n";  // and nothing more
    ASSERT_EQ(::send(fd, part.data(), part.size(), MSG_NOSIGNAL), static_cast<ssize_t>(part.size()));
    const std::string r = read_all(fd);
    EXPECT_EQ(r.compare(0, 12, "HTTP/1.1 408"), 0) << r;
    ::close(fd);
}

TEST(HttpServer, SlowEventClientIsDroppedWhileProducerAndOthersGoOn) {
    smdhttp::SseHub hub({2, 16, 1 << 20});
    smdhttp::HttpLimits limits;
    limits.max_clients = 4;
    limits.write_timeout = 60s;  // the drop below comes from the queue, not from a send timing out
    HttpServer server({"127.0.0.1", 0}, limits);
    server.events("/events", hub);
    const int port = server.start();

    // The slow client asks for the stream and never reads; a small receive
    // buffer makes the server's sends back up soon.
    const int slow = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 2048;
    ::setsockopt(slow, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(slow, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const std::string req = get("/events");
    ASSERT_EQ(::send(slow, req.data(), req.size(), MSG_NOSIGNAL), static_cast<ssize_t>(req.size()));

    std::atomic<bool> quit{false};
    std::mutex m;
    std::string fast_text;
    const int fast = connect_to(port);
    ASSERT_EQ(::send(fast, req.data(), req.size(), MSG_NOSIGNAL), static_cast<ssize_t>(req.size()));
    std::thread reader([&] {
        char buf[65536];
        while (!quit) {
            pollfd p{fast, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = ::recv(fast, buf, sizeof buf, 0);
            if (n <= 0) break;
            std::lock_guard<std::mutex> lock(m);
            fast_text.append(buf, static_cast<std::size_t>(n));
        }
    });
    ASSERT_TRUE(smdtest::eventually([&] { return hub.stats().clients == 2; }));

    // The producer publishes 8 MB, more than the kernel buffers of the slow
    // connection hold; it waits for the fast reader now and then (so that
    // only the slow one falls behind), never for the slow one.
    const std::string payload(8192, 'v');
    for (int k = 0; k < 1000; ++k) {
        hub.publish("{\"n\":" + std::to_string(k) + ",\"pad\":\"" + payload + "\"}");
        if (k % 8 == 7) {
            const std::string mark = "{\"n\":" + std::to_string(k) + ",";
            ASSERT_TRUE(smdtest::eventually([&] {
                std::lock_guard<std::mutex> lock(m);
                return fast_text.find(mark) != std::string::npos;
            })) << "event " << k;
        }
    }
    EXPECT_EQ(hub.stats().dropped, 1u);
    {
        std::lock_guard<std::mutex> lock(m);
        EXPECT_NE(fast_text.find("Content-Type: text/event-stream"), std::string::npos);
        EXPECT_NE(fast_text.find("retry: 3000\n\n"), std::string::npos);
        EXPECT_EQ(fast_text.find("event: dropped"), std::string::npos);
    }

    // The slow client, reading at last, finds the notice and the end of
    // its stream; its place is free again.
    const std::string slow_text = read_all(slow);
    EXPECT_NE(slow_text.find("event: dropped\ndata: this client fell behind; reconnect\n\n"), std::string::npos);
    EXPECT_EQ(slow_text.substr(slow_text.size() - 5), "0\r\n\r\n");
    ASSERT_TRUE(smdtest::eventually([&] { return hub.stats().clients == 1; }));

    // The hub's limit: one more stream opens, the next is refused.
    const int third = connect_to(port);
    ASSERT_EQ(::send(third, req.data(), req.size(), MSG_NOSIGNAL), static_cast<ssize_t>(req.size()));
    ASSERT_TRUE(smdtest::eventually([&] { return hub.stats().clients == 2; }));
    const std::string fourth = roundtrip(port, get("/events"));
    EXPECT_EQ(fourth.compare(0, 12, "HTTP/1.1 503"), 0) << fourth.substr(0, 100);
    ::close(third);

    // stop() ends the open streams.
    server.stop();
    quit = true;
    reader.join();
    ::close(fast);
    ::close(slow);
}

TEST(HttpServer, StartFailsWithTheAddressWhenTaken) {
    HttpServer first({"127.0.0.1", 0});
    const int port = first.start();
    HttpServer second({"127.0.0.1", port});
    try {
        second.start();
        FAIL() << "a second server listens on port " << port;
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot listen on 127.0.0.1:" + std::to_string(port)),
                  std::string::npos)
            << e.what();
    }
    smdhttp::SseHub hub({8, 16, 1 << 20});
    HttpServer greedy({"127.0.0.1", 0});
    greedy.events("/events", hub);
    EXPECT_THROW(greedy.start(), std::logic_error);
}
