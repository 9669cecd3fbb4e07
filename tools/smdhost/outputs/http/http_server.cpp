#include "tools/smdhost/outputs/http/http_server.hpp"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tools/smdhost/outputs/http/socket_stream.hpp"

namespace smdhttp {
namespace {

using Clock = std::chrono::steady_clock;

// The library's server with its request processing driven from here: the
// accept loop, the thread pool and the socket stream are ours, so that the
// bounds of http_server.hpp hold; parsing, routing and writing responses
// are the library's (process_request is its interface for such servers).
class Engine : public httplib::Server {
public:
    using httplib::Server::process_request;
    // The library ends content providers once its listening socket is gone.
    void set_listening(int fd) { svr_sock_ = fd; }
};

// How the request just answered leaves its connection; set by the library's
// callbacks, which run on the thread serving the connection.
struct ConnectionState {
    int status = 0;
};
thread_local ConnectionState* current_connection = nullptr;

std::string canned(int status, const char* reason, const std::string& text) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " + std::to_string(text.size()) +
           "\r\nConnection: close\r\n" + (status == 503 ? "Retry-After: 1\r\n" : "") + "\r\n" + text;
}

const std::string& busy_response() {
    static const std::string r = canned(503, "Service Unavailable", "all connections are busy; retry later\n");
    return r;
}

// Discards what the peer still sends, for at most `limit`, so that closing
// does not reset the connection before the peer has read our answer.
void drain(int fd, Clock::duration limit) {
    const auto end = Clock::now() + limit;
    char buf[4096];
    std::size_t total = 0;
    while (total < (64u << 10)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return;
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return;
        const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return;
        total += static_cast<std::size_t>(n);
    }
}

// Body of an error the library answers by itself.
std::string error_text(int status) {
    switch (status) {
    case 400: return "bad request\n";
    case 404: return "not found\n";
    case 414: return "request target too long\n";
    case 416: return "range not satisfiable\n";
    default: return "error " + std::to_string(status) + "\n";
    }
}

// Byte ranges are not served: the library would build one response part
// per range in memory, so that a request for many overlapping ranges of a
// large file asks for hundreds of times its size. A Range header is
// ignored, as a server without range support does: the whole file, 200.
void ignore_ranges(httplib::Request& req) {
    req.ranges.clear();
    req.headers.erase("Range");
}

std::string regex_escape(const std::string& text) {
    static const std::string special = R"(\^$.|?*+()[]{})";
    std::string out;
    for (char c : text) {
        if (special.find(c) != std::string::npos) out += '\\';
        out += c;
    }
    return out;
}

HttpRequest to_request(const httplib::Request& req) {
    HttpRequest r;
    r.method = req.method;
    r.path = req.path;
    r.params.insert(req.params.begin(), req.params.end());
    for (std::size_t k = 1; k < req.matches.size(); ++k) r.captures.push_back(req.matches[k].str());
    r.remote = req.remote_addr;
    return r;
}

void apply(const HttpReply& reply, httplib::Response& res) {
    res.status = reply.status;
    for (const auto& [name, value] : reply.headers) res.set_header(name, value);
    res.set_content(reply.body, reply.content_type);
}

}  // namespace

struct HttpServer::Impl {
    Impl(ListenAddress w, HttpLimits l) : where(std::move(w)), limits(l) {}

    void configure();
    void accept_loop();
    void refuse(int fd, std::vector<std::pair<int, Clock::time_point>>& lingering);
    void worker_loop();
    void serve(int fd);

    ListenAddress where;
    HttpLimits limits;
    Engine engine;
    std::vector<SseHub*> hubs;
    httplib::Headers default_headers{{"X-Content-Type-Options", "nosniff"}};

    int listen_fd = -1;
    int wake[2] = {-1, -1};
    int bound_port = 0;
    std::thread acceptor;
    std::vector<std::thread> workers;

    mutable std::mutex mutex;
    std::condition_variable work;
    std::deque<int> pending;  // accepted, waiting for a worker
    std::set<int> open;       // every connection not yet closed
    bool started = false;
    bool stopping = false;

    std::atomic<std::uint64_t> accepted{0};
    std::atomic<std::uint64_t> refused{0};
    std::atomic<std::uint64_t> requests{0};
};

void HttpServer::Impl::configure() {
    engine.set_keep_alive_max_count(limits.keep_alive_requests);
    engine.set_keep_alive_timeout(std::max<time_t>(1, static_cast<time_t>(limits.keep_alive_timeout.count() / 1000)));
    engine.set_payload_max_length(limits.max_request_bytes);
    engine.set_default_headers(default_headers);
    engine.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        if (req.method != "GET" && req.method != "HEAD") {
            res.status = 405;
            res.set_header("Allow", "GET, HEAD");
            res.set_content("only GET and HEAD are served here\n", "text/plain; charset=utf-8");
            return httplib::Server::HandlerResponse::Handled;
        }
        const bool body = (req.has_header("Content-Length") && req.get_header_value("Content-Length") != "0") ||
                          req.has_header("Transfer-Encoding");
        if (body) {
            res.status = 413;
            res.set_content("requests carry no body here\n", "text/plain; charset=utf-8");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // "Expect: 100-continue" announces a body: refused like one.
    engine.set_expect_100_continue_handler([](const httplib::Request&, httplib::Response& res) {
        res.status = 413;
        res.set_content("requests carry no body here\n", "text/plain; charset=utf-8");
        return 413;
    });
    engine.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            res.set_content(error_text(res.status), "text/plain; charset=utf-8");
    });
    engine.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        res.status = 500;
        res.set_content("internal error\n", "text/plain; charset=utf-8");
    });
    engine.set_logger([](const httplib::Request&, const httplib::Response& res) {
        if (current_connection != nullptr) current_connection->status = res.status;
    });
}

void HttpServer::Impl::refuse(int fd, std::vector<std::pair<int, Clock::time_point>>& lingering) {
    ++refused;
    const std::string& r = busy_response();
    if (::send(fd, r.data(), r.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0 || lingering.size() >= 32) {
        ::close(fd);
        return;
    }
    ::shutdown(fd, SHUT_WR);
    lingering.emplace_back(fd, Clock::now() + std::chrono::seconds(1));
}

void HttpServer::Impl::accept_loop() {
    // Refused connections linger briefly, their input discarded, so that the
    // peer reads the 503 instead of a reset.
    std::vector<std::pair<int, Clock::time_point>> lingering;
    std::vector<pollfd> fds;
    for (;;) {
        fds.assign({{listen_fd, POLLIN, 0}, {wake[0], POLLIN, 0}});
        int timeout = -1;
        const auto now = Clock::now();
        for (const auto& [fd, until] : lingering) {
            fds.push_back({fd, POLLIN, 0});
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
            const int t = static_cast<int>(std::max<long long>(0, ms));
            timeout = timeout < 0 ? t : std::min(timeout, t);
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping) break;
        }
        for (std::size_t k = 2; k < fds.size(); ++k) {
            auto& [fd, until] = lingering[k - 2];
            char buf[4096];
            bool done = Clock::now() >= until;
            if (fds[k].revents != 0) {
                const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) done = true;
            }
            if (done) {
                ::close(fd);
                fd = -1;
            }
        }
        lingering.erase(std::remove_if(lingering.begin(), lingering.end(),
                                       [](const auto& l) { return l.first < 0; }),
                        lingering.end());
        if ((fds[0].revents & POLLIN) == 0) continue;
        const int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors: the connection waits in the backlog.
            if (errno == EMFILE || errno == ENFILE) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        // Events go out as they come; a peer that stopped acknowledging
        // (a laptop unplugged from the network) is given up after 30 s
        // instead of the kernel's quarter of an hour.
        const int one = 1;
        const unsigned int user_timeout_ms = 30000;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &user_timeout_ms, sizeof user_timeout_ms);
        std::unique_lock<std::mutex> lock(mutex);
        if (open.size() >= limits.max_clients) {
            lock.unlock();
            refuse(fd, lingering);
            continue;
        }
        ++accepted;
        open.insert(fd);
        pending.push_back(fd);
        work.notify_one();
    }
    for (const auto& l : lingering) ::close(l.first);
}

void HttpServer::Impl::worker_loop() {
    for (;;) {
        int fd = -1;
        bool serve_it = false;
        {
            std::unique_lock<std::mutex> lock(mutex);
            work.wait(lock, [&] { return stopping || !pending.empty(); });
            if (pending.empty()) return;
            fd = pending.front();
            pending.pop_front();
            serve_it = !stopping;
        }
        if (serve_it) serve(fd);
        {
            // Out of `open` before the number can be reused, so that stop()
            // never shuts down somebody else's descriptor.
            std::lock_guard<std::mutex> lock(mutex);
            open.erase(fd);
        }
        ::close(fd);
    }
}

void HttpServer::Impl::serve(int fd) {
    SocketStream stream(fd, {limits.max_request_bytes, limits.request_timeout, limits.read_timeout,
                             limits.write_timeout});
    ConnectionState state;
    current_connection = &state;
    bool linger = false;
    for (std::size_t n = 0; n < limits.keep_alive_requests; ++n) {
        if (!stream.wait_request(n == 0 ? limits.read_timeout : limits.keep_alive_timeout)) break;
        stream.begin_request();
        const bool last = n + 1 == limits.keep_alive_requests;
        bool closed = false;
        state.status = 0;
        const bool ok = engine.process_request(stream, last, closed, ignore_ranges);
        if (stream.over_budget()) {
            stream.send_raw(canned(431, "Request Header Fields Too Large", "request head too large\n"));
            linger = true;
            break;
        }
        if (stream.timed_out()) {
            stream.send_raw(canned(408, "Request Timeout", "request head too slow\n"));
            linger = true;
            break;
        }
        if (state.status != 0) ++requests;
        // After an error (other than 404) the rest of the input cannot be
        // trusted to start a request: the connection ends.
        if (state.status >= 400 && state.status != 404) {
            linger = true;
            break;
        }
        if (!ok || closed || last) break;
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping) break;
    }
    current_connection = nullptr;
    if (linger) {
        ::shutdown(fd, SHUT_WR);
        drain(fd, std::chrono::seconds(1));
    }
}

HttpServer::HttpServer(ListenAddress where, HttpLimits limits)
    : impl_(std::make_unique<Impl>(std::move(where), limits)) {
    impl_->configure();
}

HttpServer::~HttpServer() { stop(); }

void HttpServer::route(const std::string& pattern, HttpHandler handler) {
    impl_->engine.Get(pattern, [handler = std::move(handler)](const httplib::Request& req, httplib::Response& res) {
        HttpReply reply;
        try {
            reply = handler(to_request(req));
        } catch (...) {
            reply = HttpReply::error(500, "internal error");
        }
        apply(reply, res);
    });
}

void HttpServer::events(const std::string& path, SseHub& hub) {
    impl_->hubs.push_back(&hub);
    Impl* impl = impl_.get();
    impl_->engine.Get(regex_escape(path), [impl, &hub](const httplib::Request&, httplib::Response& res) {
        std::shared_ptr<SseSubscription> sub = hub.subscribe();
        if (!sub) {
            apply(HttpReply::error(503, "too many event streams open; retry later"), res);
            res.set_header("Retry-After", "5");
            return;
        }
        res.set_header("Cache-Control", "no-store");
        const auto heartbeat = impl->limits.event_heartbeat;
        res.set_chunked_content_provider(
            "text/event-stream", [sub, heartbeat](std::size_t offset, httplib::DataSink& sink) {
                std::string text = offset == 0 ? "retry: 3000\n\n" : "";
                bool ended = false;
                text += sub->take(offset == 0 ? std::chrono::milliseconds(0) : heartbeat, ended);
                if (text.empty()) text = ": keep-alive\n\n";
                if (!sink.write(text.data(), text.size())) return false;
                if (ended) sink.done();
                return true;
            });
    });
}

void HttpServer::files(const std::string& prefix, StaticFiles files) {
    std::string p = prefix;
    if (p.empty() || p.back() != '/') p += '/';
    impl_->engine.Get(regex_escape(p) + "(.*)",
                      [files = std::move(files)](const httplib::Request& req, httplib::Response& res) {
                          const auto f = files.read(req.matches[1].str());
                          if (!f) {
                              apply(HttpReply::error(404, "not found"), res);
                              return;
                          }
                          res.set_header("Cache-Control", "no-cache");
                          res.set_content(f->body, f->content_type);
                      });
}

void HttpServer::default_header(const std::string& name, const std::string& value) {
    impl_->default_headers.emplace(name, value);
    impl_->engine.set_default_headers(impl_->default_headers);
}

int HttpServer::start() {
    Impl& s = *impl_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.started) return s.bound_port;
    }
    std::size_t streams = 0;
    for (const SseHub* hub : s.hubs) streams += hub->limits().max_clients;
    if (!s.hubs.empty() && streams >= s.limits.max_clients)
        throw std::logic_error("HTTP server: event streams (" + std::to_string(streams) +
                               ") would leave no connection for other requests (max " +
                               std::to_string(s.limits.max_clients) + ")");

    const std::string where = to_string(s.where);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int gai = ::getaddrinfo(s.where.host.c_str(), std::to_string(s.where.port).c_str(), &hints, &found);
    if (gai != 0) throw std::runtime_error("cannot listen on " + where + ": " + ::gai_strerror(gai));
    int err = 0;
    for (addrinfo* ai = found; ai != nullptr && s.listen_fd < 0; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            err = errno;
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, 64) != 0) {
            err = errno;
            ::close(fd);
            continue;
        }
        s.listen_fd = fd;
    }
    ::freeaddrinfo(found);
    if (s.listen_fd < 0) throw std::runtime_error("cannot listen on " + where + ": " + std::strerror(err));

    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    ::getsockname(s.listen_fd, reinterpret_cast<sockaddr*>(&addr), &len);
    s.bound_port = addr.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port)
                                              : ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    if (::pipe2(s.wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(s.listen_fd);
        s.listen_fd = -1;
        throw std::runtime_error(std::string("HTTP server: pipe: ") + std::strerror(errno));
    }
    s.engine.set_listening(s.listen_fd);
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.started = true;
    }
    for (std::size_t k = 0; k < s.limits.max_clients; ++k) s.workers.emplace_back([&s] { s.worker_loop(); });
    s.acceptor = std::thread([&s] { s.accept_loop(); });
    return s.bound_port;
}

void HttpServer::stop() {
    Impl& s = *impl_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.started || s.stopping) return;
        s.stopping = true;
        for (int fd : s.open) ::shutdown(fd, SHUT_RDWR);
    }
    s.engine.set_listening(INVALID_SOCKET);
    for (SseHub* hub : s.hubs) hub->close();
    const char byte = 0;
    if (::write(s.wake[1], &byte, 1) < 0) {
        // The pipe is empty and non-blocking: a write cannot fail but for a
        // closed descriptor, and then the acceptor is gone already.
    }
    s.work.notify_all();
    if (s.acceptor.joinable()) s.acceptor.join();
    for (auto& t : s.workers) t.join();
    s.workers.clear();
    ::close(s.listen_fd);
    ::close(s.wake[0]);
    ::close(s.wake[1]);
    s.listen_fd = s.wake[0] = s.wake[1] = -1;
}

int HttpServer::port() const { return impl_->bound_port; }

HttpServer::Stats HttpServer::stats() const {
    Stats st;
    st.accepted = impl_->accepted;
    st.refused = impl_->refused;
    st.requests = impl_->requests;
    std::lock_guard<std::mutex> lock(impl_->mutex);
    st.active = impl_->open.size();
    return st;
}

}  // namespace smdhttp
