// Test support for the monitor outputs: real services started by the tests
// on loopback ports, as CI installs them (Debian's mosquitto,
// mosquitto-clients and prometheus). A missing tool is a failure, reported
// by name, never a skipped test.
//
//   MosquittoBroker broker(dir);          broker.start()
//   retained(broker.port(), "root/#")     topic -> payload of retained messages
//   Subscriber sub(broker.port(), "root/#")   live messages, in order
//   promtool_check_metrics(text, dir)     `promtool check metrics` on a text
//   PrometheusServer prom(dir, "127.0.0.1:PORT");  prom.start(); prom.query_value("up")
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <httplib.h>

#include <map>
#include <thread>
#include <utility>

#include "system/smdhost_support.hpp"

namespace smdtest {

// The path of a program: PATH first, then /usr/sbin and /sbin, where
// daemons live; "" when it is nowhere.
inline std::string find_tool(const std::string& name) {
    std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/sbin:/usr/bin";
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        const std::string dir = path.substr(start, end - start);
        if (!dir.empty() && executable(dir + "/" + name)) return dir + "/" + name;
        start = end + 1;
    }
    return "";
}

// What a test says when a tool CI installs is missing.
inline std::string missing_tool(const std::string& name, const std::string& package) {
    return name + " not found: install the Debian package " + package + " (scripts/ensure-deps.sh does)";
}

// A TCP port on 127.0.0.1 that was free a moment ago.
inline int free_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

// True once something accepts connections on 127.0.0.1:`port` (gives up
// after `seconds`, a guard against hanging).
inline bool wait_listening(int port, double seconds = 15.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    while (std::chrono::steady_clock::now() < end) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        if (ok) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// Polls `pred` until it holds; false after `seconds` (a guard, not a measure).
inline bool eventually(const std::function<bool()>& pred, double seconds = 15.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A background service with its output in a log file; terminated when the
// object goes.
class Daemon {
public:
    Daemon() = default;
    Daemon(const std::vector<std::string>& argv, const std::string& log_path) : log_path_(log_path) {
        pid_ = fork();
        if (pid_ == 0) {
            const int log = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            const int devnull = ::open("/dev/null", O_RDONLY);
            if (log >= 0) {
                dup2(log, 1);
                dup2(log, 2);
            }
            if (devnull >= 0) dup2(devnull, 0);
            for (int fd = 3; fd < 1024; ++fd) ::close(fd);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
    }
    ~Daemon() { terminate(); }
    Daemon(Daemon&& o) noexcept { *this = std::move(o); }
    Daemon& operator=(Daemon&& o) noexcept {
        if (this != &o) {
            terminate();
            pid_ = o.pid_;
            log_path_ = o.log_path_;
            o.pid_ = -1;
        }
        return *this;
    }

    bool running() {
        if (pid_ <= 0) return false;
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        return true;
    }
    // SIGTERM, then SIGKILL after ten seconds.
    void terminate() { end(SIGTERM); }
    void kill() { end(SIGKILL); }
    std::string log() const { return read_file(log_path_); }

private:
    void end(int sig) {
        if (pid_ <= 0) return;
        ::kill(pid_, sig);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (waitpid(pid_, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) {
                ::kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pid_ = -1;
    }

    pid_t pid_ = -1;
    std::string log_path_;
};

// A mosquitto broker on 127.0.0.1, anonymous, without persistence: a
// restart loses every retained message, as a broker without a store does.
class MosquittoBroker {
public:
    explicit MosquittoBroker(const TempDir& dir, int port = 0)
        : dir_(dir.path()), port_(port != 0 ? port : free_port()) {}

    // Starts it (again, after stop()); false when it does not listen.
    bool start() {
        const std::string exe = find_tool("mosquitto");
        if (exe.empty()) return false;
        const std::string conf = dir_ + "/mosquitto.conf";
        write_file(conf, "listener " + std::to_string(port_) +
                             " 127.0.0.1\nallow_anonymous true\npersistence false\nlog_type all\n");
        daemon_ = Daemon({exe, "-c", conf}, dir_ + "/mosquitto.log");
        return wait_listening(port_);
    }
    void stop() { daemon_.terminate(); }
    int port() const { return port_; }
    std::string log() const { return daemon_.log(); }

private:
    std::string dir_;
    int port_;
    Daemon daemon_;
};

// Retained messages under `filter` as a new subscriber sees them: topic ->
// payload (the subscription lasts `seconds`).
inline std::map<std::string, std::string> retained(int port, const std::string& filter, int seconds = 1) {
    const Result r = run({find_tool("mosquitto_sub"), "-h", "127.0.0.1", "-p", std::to_string(port), "-t", filter,
                          "-F", "%t %p", "--retained-only", "-W", std::to_string(seconds)});
    std::map<std::string, std::string> out;
    for (const auto& line : lines_of(r.out)) {
        const std::size_t sp = line.find(' ');
        if (sp != std::string::npos) out[line.substr(0, sp)] = line.substr(sp + 1);
    }
    return out;
}

// A subscriber that stays: every message under `filter`, in order of
// arrival, each "TOPIC PAYLOAD" (retained ones as they were on subscribing).
class Subscriber {
public:
    Subscriber(int port, const std::string& filter)
        : child_({find_tool("mosquitto_sub"), "-h", "127.0.0.1", "-p", std::to_string(port), "-t", filter, "-F",
                  "%t %p"}) {}

    // Waits for a message `topic` with `payload`, at most `seconds`.
    bool wait_for(const std::string& topic, const std::string& payload, double seconds = 15.0) {
        const std::string line = topic + " " + payload + "\n";
        return child_.wait_for([&](const std::string& out, const std::string&) {
            return out.compare(0, line.size(), line) == 0 || out.find("\n" + line) != std::string::npos;
        }, seconds);
    }
    std::vector<std::string> lines() {
        child_.pump(0);
        return lines_of(child_.out());
    }

private:
    Child child_;
};

// `promtool check metrics` on `exposition`.
inline Result promtool_check_metrics(const std::string& exposition, const TempDir& dir) {
    const std::string file = dir.file("metrics.txt");
    write_file(file, exposition);
    const std::string cmd = "'" + find_tool("promtool") + "' check metrics < '" + file + "'";
    return run({"/bin/sh", "-c", cmd});
}

// A Prometheus server on 127.0.0.1 scraping one target every second, its
// database in `dir`.
class PrometheusServer {
public:
    PrometheusServer(const TempDir& dir, const std::string& target, const std::string& metrics_path = "/metrics")
        : dir_(dir.path()), port_(free_port()) {
        write_file(dir_ + "/prometheus.yml",
                   "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n  evaluation_interval: 1s\n"
                   "scrape_configs:\n  - job_name: monitor\n    metrics_path: " + metrics_path +
                       "\n    static_configs:\n      - targets: ['" + target + "']\n");
    }

    bool start() {
        const std::string exe = find_tool("prometheus");
        if (exe.empty()) return false;
        daemon_ = Daemon({exe, "--config.file=" + dir_ + "/prometheus.yml", "--storage.tsdb.path=" + dir_ + "/tsdb",
                          "--web.listen-address=127.0.0.1:" + std::to_string(port_), "--log.level=warn"},
                         dir_ + "/prometheus.log");
        return eventually([&] {
            httplib::Client c("127.0.0.1", port_);
            const auto r = c.Get("/-/ready");
            return r && r->status == 200;
        }, 60.0);
    }

    // The value of the first sample of the instant query `expr`; "" when
    // the result is empty or the query failed.
    std::string query_value(const std::string& expr) {
        httplib::Client c("127.0.0.1", port_);
        const auto r = c.Get("/api/v1/query", httplib::Params{{"query", expr}}, httplib::Headers{});
        if (!r || r->status != 200) return "";
        Json::Value v;
        std::istringstream in(r->body);
        if (!Json::parseFromStream(Json::CharReaderBuilder(), in, &v, nullptr)) return "";
        const Json::Value& result = v["data"]["result"];
        if (!result.isArray() || result.empty()) return "";
        return result[0]["value"][1].asString();
    }
    std::string log() const { return daemon_.log(); }

private:
    std::string dir_;
    int port_;
    Daemon daemon_;
};

}  // namespace smdtest
