// Publishes the monitor's topics to an MQTT broker (libmosquitto): every
// message retained, QoS 1, under ROOT.
//
//   ROOT/status   "online" | "stale" | "offline" (the last will, and a clean stop)
//   ROOT/...      whatever publish() is given: "value/dc.1.voltage", "alarm/ID",
//                 "record"
//
// Never blocks the caller on the network: publish() and set_status() only
// update a cache of the latest payload per topic under a short lock and hand
// messages to the library; the connection, its keep-alive and reconnection
// with back-off run on a thread of this class. Bounded while the broker is
// away: the cache holds one payload per topic, and at most `max_unacked`
// messages are handed to the library unacknowledged; the rest wait in the
// cache, newest payload only.
//
// Staleness, decided by the caller (no record for 61 s: set_status(stale)):
// - the status goes first on every connection, before any value;
// - while stale, values are kept back: publish() caches them and nothing but
//   the status is sent;
// - a value cached before the status last became stale is never sent again
//   (not on reconnect, not when the status returns to online): only values
//   published since are. So a broker that comes back while the line is
//   stale gets "stale" and no old value, and one that comes back after the
//   line recovered gets "online" and the values of the new records. The
//   caller publishes every topic it wants on the broker again with the first
//   record after a stale period (alarm states included).
// - stop() drains: a connection under way is waited for, what is waiting
//   is handed over and acknowledged, then "offline" goes and the client
//   disconnects, all within `stop_grace`; a broker that is away is not
//   waited for. The will covers only a crash or a lost connection, since a
//   clean disconnect discards it.
// - The network thread blocks SIGPIPE: a broker closing the connection is
//   a lost connection, never the end of the process.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace smdmqtt {

enum class Status { online, stale };

struct PublisherOptions {
    std::string host;
    int port = 1883;
    std::string root;       // topic prefix without the trailing "/"
    std::string client_id;  // empty: "smdhost-HOSTNAME-PID"
    std::chrono::seconds keepalive{30};
    std::chrono::milliseconds reconnect_min{1000};   // back-off doubles from here
    std::chrono::milliseconds reconnect_max{30000};  // up to here
    std::size_t max_unacked = 256;
    std::chrono::milliseconds stop_grace{3000};
    // Batches (set_batch_maker) run at most this often while connected.
    std::chrono::milliseconds batch_interval{250};
    // One line per change of the connection ("connected to ...", "cannot
    // connect ...: reason"), from the network thread; empty: standard error.
    std::function<void(const std::string&)> log;
};

// "smdhost-HOSTNAME-PID": the client id when the options name none.
std::string default_client_id();

class MqttPublisher {
public:
    // Throws std::invalid_argument for an invalid root or client id, and
    // std::runtime_error when the library cannot make a client.
    explicit MqttPublisher(PublisherOptions options);
    ~MqttPublisher();  // stop()
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Starts the network thread: connecting, and retrying until stop().
    void start();

    // ROOT/`subtopic` = `payload`. False, and nothing cached, when the topic
    // is not valid (is_valid_topic) or the publisher has stopped.
    bool publish(const std::string& subtopic, const std::string& payload);

    // ROOT/status; "online" until told otherwise (called before start(),
    // the first connection already says "stale").
    void set_status(Status status);

    // Drains, "offline", disconnect, thread joined; idempotent.
    void stop();

    std::string topic(const std::string& subtopic) const;

    // Payloads made on demand, for a caller whose input comes faster than
    // any broker takes it (a replay): request_batch() asks for one run of
    // `make` (requests in between merge into one), which happens on the
    // network thread when its payloads would go out at once: connected with
    // nothing waiting and at most every `batch_interval`, or at once while
    // there is no connection (the cache is then what a reconnect sends, so
    // it must be the newest); and once more in stop(), before the drain.
    // `make` calls publish(); it must stay valid until stop() returns.
    // Set before start().
    void set_batch_maker(std::function<void()> make);
    void request_batch();

    struct Stats {
        bool connected = false;
        std::uint64_t connections = 0;  // successful connections so far
        std::size_t topics = 0;         // cached topics
        std::size_t waiting = 0;        // topics whose latest payload is not yet handed over
        std::size_t unacked = 0;        // handed to the library, not yet acknowledged
        std::uint64_t sent = 0;         // messages handed to the library
    };
    Stats stats() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace smdmqtt
