#include "tools/smdhost/outputs/http/sse_hub.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace smdhttp {

namespace {

enum class StreamState { open, dropped, closed };

const char* const kDroppedEvent = "event: dropped\ndata: this client fell behind; reconnect\n\n";

}  // namespace

struct SseSubscription::Queue {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::shared_ptr<const std::string>> events;
    std::size_t bytes = 0;
    StreamState state = StreamState::open;
};

struct SseHub::Shared {
    explicit Shared(SseLimits l) : limits(l) {}
    const SseLimits limits;
    mutable std::mutex mutex;
    std::vector<std::shared_ptr<SseSubscription::Queue>> clients;
    std::atomic<std::size_t> client_count{0};  // clients.size(), for has_clients()
    bool closed = false;
    std::uint64_t published = 0;
    std::uint64_t dropped = 0;
};

std::string sse_frame(const std::string& data, const std::string& name) {
    std::string out;
    out.reserve(data.size() + 16);
    if (!name.empty()) {
        out += "event: ";
        for (char c : name) out += (c == '\r' || c == '\n') ? ' ' : c;
        out += '\n';
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = data.find_first_of("\r\n", start);
        out += "data: ";
        out.append(data, start, end == std::string::npos ? std::string::npos : end - start);
        out += '\n';
        if (end == std::string::npos) break;
        start = end + ((data[end] == '\r' && end + 1 < data.size() && data[end + 1] == '\n') ? 2 : 1);
        if (start >= data.size()) break;  // a line break at the very end adds no empty line
    }
    out += '\n';
    return out;
}

SseHub::SseHub(SseLimits limits) : shared_(std::make_shared<Shared>(limits)) {}

SseHub::~SseHub() { close(); }

void SseHub::publish(const std::string& data, const std::string& name) {
    const auto frame = std::make_shared<const std::string>(sse_frame(data, name));
    std::lock_guard<std::mutex> hub_lock(shared_->mutex);
    ++shared_->published;
    for (const auto& q : shared_->clients) {
        std::lock_guard<std::mutex> lock(q->mutex);
        if (q->state != StreamState::open) continue;
        if (q->events.size() + 1 > shared_->limits.max_queued_events ||
            q->bytes + frame->size() > shared_->limits.max_queued_bytes) {
            q->events.clear();
            q->events.push_back(std::make_shared<const std::string>(kDroppedEvent));
            q->bytes = 0;
            q->state = StreamState::dropped;
            ++shared_->dropped;
        } else {
            q->events.push_back(frame);
            q->bytes += frame->size();
        }
        q->ready.notify_one();
    }
}

std::shared_ptr<SseSubscription> SseHub::subscribe() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    if (shared_->closed || shared_->clients.size() >= shared_->limits.max_clients) return nullptr;
    auto q = std::make_shared<SseSubscription::Queue>();
    shared_->clients.push_back(q);
    shared_->client_count = shared_->clients.size();
    return std::make_shared<SseSubscription>(shared_, q);
}

void SseHub::close() {
    std::lock_guard<std::mutex> hub_lock(shared_->mutex);
    shared_->closed = true;
    for (const auto& q : shared_->clients) {
        std::lock_guard<std::mutex> lock(q->mutex);
        if (q->state == StreamState::open) q->state = StreamState::closed;
        q->ready.notify_all();
    }
}

SseHub::Stats SseHub::stats() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    Stats s;
    s.clients = shared_->clients.size();
    s.published = shared_->published;
    s.dropped = shared_->dropped;
    return s;
}

bool SseHub::has_clients() const { return shared_->client_count.load(std::memory_order_relaxed) != 0; }

const SseLimits& SseHub::limits() const { return shared_->limits; }

SseSubscription::SseSubscription(std::shared_ptr<SseHub::Shared> shared, std::shared_ptr<Queue> queue)
    : shared_(std::move(shared)), queue_(std::move(queue)) {}

SseSubscription::~SseSubscription() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    auto& v = shared_->clients;
    v.erase(std::remove(v.begin(), v.end(), queue_), v.end());
    shared_->client_count = v.size();
}

std::string SseSubscription::take(std::chrono::milliseconds timeout, bool& ended) {
    std::unique_lock<std::mutex> lock(queue_->mutex);
    queue_->ready.wait_for(lock, timeout, [&] {
        return !queue_->events.empty() || queue_->state != StreamState::open;
    });
    std::string text;
    for (const auto& e : queue_->events) text += *e;
    queue_->events.clear();
    queue_->bytes = 0;
    ended = queue_->state != StreamState::open;
    return text;
}

}  // namespace smdhttp
