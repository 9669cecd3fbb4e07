// Server-sent events: one producer, any number of stream clients up to a
// limit, each with a bounded queue of its own.
//
// The producer (the line thread) only appends to queues under short locks:
// it never waits for a client. A client whose queue would overflow is
// dropped: its queue is replaced by one "dropped" event and its stream ends
// (an EventSource reconnects by itself and starts from the current state),
// so a slow reader costs neither the producer nor the other clients, and no
// client ever sees a stream with events silently missing.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace smdhttp {

struct SseLimits {
    std::size_t max_clients = 4;             // streams open at once; more are refused
    std::size_t max_queued_events = 1024;    // per client
    std::size_t max_queued_bytes = 4 << 20;  // per client, wire bytes
};

// The wire form of one event: "event: NAME\n" when a name is given, then
// one "data: " line per line of `data` (CR, LF and CRLF all end a line, as
// the format reads them), then a blank line. Line breaks in `name` become
// spaces.
std::string sse_frame(const std::string& data, const std::string& name = std::string());

class SseSubscription;

class SseHub {
public:
    explicit SseHub(SseLimits limits = {});
    ~SseHub();
    SseHub(const SseHub&) = delete;
    SseHub& operator=(const SseHub&) = delete;

    // Queues the event for every open stream; never blocks on a client.
    void publish(const std::string& data, const std::string& name = std::string());

    // A new stream, or nullptr when max_clients are open or the hub is closed.
    std::shared_ptr<SseSubscription> subscribe();

    // Ends every stream (each gets what was queued, then its end) and refuses
    // new ones; the server calls it when it stops.
    void close();

    struct Stats {
        std::size_t clients = 0;      // streams open now
        std::uint64_t published = 0;  // events published
        std::uint64_t dropped = 0;    // clients dropped for falling behind
    };
    Stats stats() const;
    // Whether any stream is open, without a lock: a producer asks before it
    // makes an event that nobody would get.
    bool has_clients() const;
    const SseLimits& limits() const;

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};

// One client's end: the server thread serving the stream takes from it.
class SseSubscription {
public:
    ~SseSubscription();
    SseSubscription(const SseSubscription&) = delete;
    SseSubscription& operator=(const SseSubscription&) = delete;

    // Waits up to `timeout` for events and returns the wire text of all that
    // are queued ("" when none came). `ended` becomes true when the stream
    // is over (dropped or closed); the text returned with it is the last.
    std::string take(std::chrono::milliseconds timeout, bool& ended);

    struct Queue;
    SseSubscription(std::shared_ptr<SseHub::Shared> shared, std::shared_ptr<Queue> queue);

private:
    std::shared_ptr<SseHub::Shared> shared_;
    std::shared_ptr<Queue> queue_;
};

}  // namespace smdhttp
