#include "tools/smdhost/outputs/mqtt/mqtt_publisher.hpp"

#include <mosquitto.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "tools/smdhost/outputs/mqtt/mqtt_url.hpp"

namespace smdmqtt {
namespace {

const char* status_text(Status s) { return s == Status::online ? "online" : "stale"; }

// What a failed library call means, in words.
std::string describe(int rc) {
    if (rc == MOSQ_ERR_ERRNO) return std::strerror(errno);
    return mosquitto_strerror(rc);
}

void library_init() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

}  // namespace

std::string default_client_id() {
    char host[64] = "";
    if (::gethostname(host, sizeof host - 1) != 0) std::strcpy(host, "host");
    return "smdhost-" + std::string(host) + "-" + std::to_string(::getpid());
}

// Everything below `mutex` is shared by the caller's thread and the network
// thread (libmosquitto calls the callbacks on the latter, from inside
// mosquitto_loop, which never runs with `mutex` held).
struct MqttPublisher::State {
    struct Entry {
        std::string payload;
        bool fresh = true;     // published since the status last became stale
        bool waiting = false;  // in `waiting`: the latest payload is not handed over
    };

    PublisherOptions opt;
    std::string status_topic;
    mosquitto* client = nullptr;
    std::thread thread;

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::unordered_map<std::string, Entry> cache;
    std::deque<std::string> waiting;
    std::unordered_set<int> unacked;
    Status status = Status::online;
    bool status_waiting = false;
    bool connected = false;
    bool started = false;
    bool stop_requested = false;
    bool draining = false;  // stopping: what is waiting still goes, then "offline"
    bool stopped = false;   // stop() was called
    bool closed = false;    // the network thread has ended: publish() refuses
    bool reset_backoff = false;
    int offline_mid = -1;
    bool offline_acked = false;
    std::uint64_t connections = 0;
    std::uint64_t sent = 0;
    std::function<void()> batch_maker;
    bool batch_requested = false;
    std::chrono::steady_clock::time_point last_batch{};

    void log(const std::string& line) const {
        if (opt.log) opt.log(line);
        else std::fprintf(stderr, "smdhost: mqtt: %s\n", line.c_str());
    }
    std::string broker() const { return opt.host + ":" + std::to_string(opt.port); }

    // mutex held. Hands one message to the library; false when it refused.
    bool send_locked(const std::string& topic, const std::string& payload, int* mid_out = nullptr) {
        if (client == nullptr) return false;
        int mid = 0;
        const int rc = mosquitto_publish(client, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                         payload.data(), 1, true);
        if (rc != MOSQ_ERR_SUCCESS) return false;
        unacked.insert(mid);
        ++sent;
        if (mid_out != nullptr) *mid_out = mid;
        return true;
    }

    // mutex held. The status first, then waiting values as the window allows.
    void flush_locked() {
        if (!connected || (stop_requested && !draining)) return;
        if (status_waiting) {
            if (!send_locked(status_topic, status_text(status))) return;
            status_waiting = false;
        }
        if (status == Status::stale) return;
        while (!waiting.empty() && unacked.size() < opt.max_unacked) {
            const std::string topic = waiting.front();
            Entry& e = cache[topic];
            if (!e.fresh) {
                waiting.pop_front();
                e.waiting = false;
                continue;
            }
            if (!send_locked(topic, e.payload)) return;
            waiting.pop_front();
            e.waiting = false;
        }
    }

    void mark_waiting_locked(const std::string& topic, Entry& e) {
        if (e.waiting) return;
        e.waiting = true;
        waiting.push_back(topic);
    }

    void on_connect(int rc) {
        if (rc != 0) {
            log("broker " + broker() + " refused the connection: " + mosquitto_connack_string(rc));
            return;
        }
        std::lock_guard<std::mutex> lock(mutex);
        connected = true;
        ++connections;
        reset_backoff = true;
        log("connected to " + broker() + " as " + opt.client_id);
        // A new connection: the broker may have lost everything (a restart
        // without persistence), so the status and every current value go again.
        status_waiting = true;
        for (auto& [topic, e] : cache)
            if (e.fresh) mark_waiting_locked(topic, e);
        flush_locked();
    }

    void on_disconnect(int rc) {
        std::lock_guard<std::mutex> lock(mutex);
        const bool was = connected;
        connected = false;
        if (was && !stop_requested)
            log("connection to " + broker() + " lost (" + describe(rc) + "); reconnecting");
        wake.notify_all();
    }

    void on_publish(int mid) {
        std::lock_guard<std::mutex> lock(mutex);
        unacked.erase(mid);
        if (mid == offline_mid) {
            offline_acked = true;
            wake.notify_all();
        }
        flush_locked();
    }

    // Runs the batch maker when one is asked for and due (set_batch_maker);
    // `always`: due whatever the connection. Never with `mutex` held.
    void run_batch(bool always = false) {
        std::function<void()> make;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!batch_requested) return;
            const auto now = std::chrono::steady_clock::now();
            if (!always && connected && (!waiting.empty() || now - last_batch < opt.batch_interval)) return;
            batch_requested = false;
            last_batch = now;
            make = batch_maker;
        }
        make();
    }

    // Waits `d` or until stop() asks (true), running batches asked for
    // meanwhile (there is no connection).
    bool pause(std::chrono::milliseconds d) {
        const auto until = std::chrono::steady_clock::now() + d;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex);
                if (!wake.wait_until(lock, until, [&] { return stop_requested || batch_requested; })) return false;
                if (stop_requested) return true;
            }
            run_batch(true);
        }
    }

    // mutex held. Nothing is left to hand over or to be acknowledged.
    bool drained_locked() const {
        return !status_waiting && unacked.empty() && (waiting.empty() || status == Status::stale);
    }

    mosquitto* make_client();
    void renew_client();
    void run();
    void finish(bool socket_up, bool attempted);
};

// A client of its own for every connection. The library would send the
// messages still in flight on a lost connection again on the next one, and
// those may be older than what the cache now holds; a new client starts
// empty, and the cache sends the newest payload of every topic instead.
mosquitto* MqttPublisher::State::make_client() {
    mosquitto* c = mosquitto_new(opt.client_id.c_str(), true, this);
    if (c == nullptr) return nullptr;
    mosquitto_threaded_set(c, true);
    const std::string will = "offline";
    mosquitto_will_set(c, status_topic.c_str(), static_cast<int>(will.size()), will.data(), 1, true);
    mosquitto_connect_callback_set(c, [](mosquitto*, void* self, int rc) { static_cast<State*>(self)->on_connect(rc); });
    mosquitto_disconnect_callback_set(c, [](mosquitto*, void* self, int rc) {
        static_cast<State*>(self)->on_disconnect(rc);
    });
    mosquitto_publish_callback_set(c, [](mosquitto*, void* self, int mid) { static_cast<State*>(self)->on_publish(mid); });
    return c;
}

// On the network thread, the connection gone (the caller's thread touches
// the client only while connected, under the mutex).
void MqttPublisher::State::renew_client() {
    mosquitto* old = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        old = client;
        client = nullptr;
        unacked.clear();
    }
    if (old != nullptr) mosquitto_destroy(old);
    mosquitto* fresh = make_client();
    std::lock_guard<std::mutex> lock(mutex);
    client = fresh;
}

void MqttPublisher::State::run() {
    // A broker that closes the connection must not end the process: the
    // library writes to the socket on this thread only, and here a write to
    // a closed socket fails with EPIPE instead of raising SIGPIPE.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    auto backoff = opt.reconnect_min;
    bool socket_up = false;
    bool attempted = false;  // a connection was tried
    bool failing = false;    // a failure was logged since the last success
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stop_requested) break;
            if (reset_backoff) {
                backoff = opt.reconnect_min;
                reset_backoff = false;
                failing = false;
            }
        }
        if (!socket_up) {
            // Asynchronous: the TCP connection completes inside mosquitto_loop
            // (a host name is still resolved here, on this thread).
            if (client == nullptr) renew_client();
            attempted = true;
            const int rc = client == nullptr ? MOSQ_ERR_NOMEM
                                             : mosquitto_connect_async(client, opt.host.c_str(), opt.port,
                                                                       static_cast<int>(opt.keepalive.count()));
            if (rc == MOSQ_ERR_SUCCESS) {
                socket_up = true;
            } else {
                if (!failing)
                    log("cannot connect to " + broker() + ": " + describe(rc) + "; retrying with back-off up to " +
                        std::to_string(opt.reconnect_max.count() / 1000) + " s");
                failing = true;
                if (pause(backoff)) break;
                backoff = std::min(backoff * 2, opt.reconnect_max);
                continue;
            }
        }
        // At most 100 ms, the delay of a batch asked for; a publish from the
        // caller wakes it at once.
        const int rc = mosquitto_loop(client, 100, 1);
        run_batch();
        if (rc != MOSQ_ERR_SUCCESS) {
            socket_up = false;
            bool was_connected;
            {
                std::lock_guard<std::mutex> lock(mutex);
                was_connected = connected;
                connected = false;
            }
            if (!was_connected && !failing) {
                log("cannot connect to " + broker() + ": " + describe(rc) +
                    "; retrying with back-off up to " + std::to_string(opt.reconnect_max.count() / 1000) + " s");
                failing = true;
            }
            renew_client();
            if (pause(backoff)) break;
            backoff = std::min(backoff * 2, opt.reconnect_max);
        }
    }
    finish(socket_up, attempted);
    std::lock_guard<std::mutex> lock(mutex);
    draining = false;
    closed = true;
}

// On the network thread, after stop(): a connection under way is waited
// for, what is waiting goes (the end of a replay is on the broker), then
// "offline" and a clean disconnect; all of it bounded by the grace period.
// A broker that could not be reached is not waited for; one that was not
// tried yet (a replay over at once) is tried once.
void MqttPublisher::State::finish(bool socket_up, bool attempted) {
    const auto deadline = std::chrono::steady_clock::now() + opt.stop_grace;
    const auto loop_until = [&](const std::function<bool()>& done) {
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (done()) return;
            }
            if (mosquitto_loop(client, 100, 1) != MOSQ_ERR_SUCCESS) return;
        }
    };
    {
        std::lock_guard<std::mutex> lock(mutex);
        draining = true;
    }
    // The last batch asked for, into the cache whatever the connection.
    run_batch(true);
    if (!attempted && client != nullptr)
        socket_up = mosquitto_connect_async(client, opt.host.c_str(), opt.port,
                                            static_cast<int>(opt.keepalive.count())) == MOSQ_ERR_SUCCESS;
    if (!socket_up || client == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        flush_locked();
    }
    loop_until([&] { return connected; });
    loop_until([&] { return !connected || drained_locked(); });
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!connected) return;
        int mid = -1;
        const std::string offline = "offline";
        if (mosquitto_publish(client, &mid, status_topic.c_str(), static_cast<int>(offline.size()), offline.data(), 1,
                              true) == MOSQ_ERR_SUCCESS)
            offline_mid = mid;
    }
    loop_until([&] { return offline_acked || !connected; });
    mosquitto_disconnect(client);
    loop_until([&] { return !connected; });
}

MqttPublisher::MqttPublisher(PublisherOptions options) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.opt = std::move(options);
    if (s.opt.client_id.empty()) s.opt.client_id = default_client_id();
    if (!is_valid_topic(s.opt.root) || s.opt.root[0] == '$')
        throw std::invalid_argument("MQTT topic root '" + s.opt.root + "' is not a valid topic");
    if (s.opt.client_id.size() > 256 || !is_valid_topic(s.opt.client_id))
        throw std::invalid_argument("MQTT client id '" + s.opt.client_id + "' is not valid");
    if (s.opt.keepalive.count() < 5) s.opt.keepalive = std::chrono::seconds(5);
    if (s.opt.max_unacked == 0) s.opt.max_unacked = 1;
    if (s.opt.reconnect_min.count() < 1) s.opt.reconnect_min = std::chrono::milliseconds(1);
    s.opt.reconnect_max = std::max(s.opt.reconnect_max, s.opt.reconnect_min);
    s.status_topic = s.opt.root + "/status";

    library_init();
    s.client = s.make_client();
    if (s.client == nullptr)
        throw std::runtime_error(std::string("MQTT client: ") + std::strerror(errno));
}

MqttPublisher::~MqttPublisher() {
    stop();
    if (state_->client != nullptr) mosquitto_destroy(state_->client);
}

void MqttPublisher::start() {
    State& s = *state_;
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.started || s.stopped) return;
    s.started = true;
    s.thread = std::thread([&s] { s.run(); });
}

std::string MqttPublisher::topic(const std::string& subtopic) const { return state_->opt.root + "/" + subtopic; }

bool MqttPublisher::publish(const std::string& subtopic, const std::string& payload) {
    State& s = *state_;
    const std::string t = topic(subtopic);
    if (!is_valid_topic(t)) return false;
    std::lock_guard<std::mutex> lock(s.mutex);
    // Until the network thread ends: its batches publish while it stops.
    if (s.closed) return false;
    State::Entry& e = s.cache[t];
    e.payload = payload;
    e.fresh = true;
    s.mark_waiting_locked(t, e);
    s.flush_locked();
    return true;
}

void MqttPublisher::set_status(Status status) {
    State& s = *state_;
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.stop_requested || status == s.status) return;
    s.status = status;
    s.status_waiting = true;
    if (status == Status::stale)
        for (auto& entry : s.cache) entry.second.fresh = false;
    s.flush_locked();
}

void MqttPublisher::stop() {
    State& s = *state_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.stopped) return;
        s.stopped = true;
        s.stop_requested = true;
        if (!s.started) s.closed = true;
        s.wake.notify_all();
    }
    if (s.thread.joinable()) s.thread.join();
}

void MqttPublisher::set_batch_maker(std::function<void()> make) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->batch_maker = std::move(make);
}

void MqttPublisher::request_batch() {
    State& s = *state_;
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.batch_maker || s.stop_requested) return;
    s.batch_requested = true;
    s.wake.notify_all();
}

MqttPublisher::Stats MqttPublisher::stats() const {
    const State& s = *state_;
    std::lock_guard<std::mutex> lock(s.mutex);
    Stats st;
    st.connected = s.connected;
    st.connections = s.connections;
    st.topics = s.cache.size();
    st.waiting = s.waiting.size();
    st.unacked = s.unacked.size();
    st.sent = s.sent;
    return st;
}

}  // namespace smdmqtt
