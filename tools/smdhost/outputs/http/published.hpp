// A value that one thread replaces and others read: the producer builds a
// whole snapshot (the /metrics text, a JSON document) and swaps it in; a
// reader gets the snapshot current at that moment and keeps it alive for as
// long as it needs, without holding up the producer.
#pragma once

#include <memory>
#include <mutex>
#include <utility>

namespace smdhttp {

template <class T>
class Published {
public:
    void publish(T value) {
        std::shared_ptr<const T> next = std::make_shared<const T>(std::move(value));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            current_.swap(next);
        }
        // The previous snapshot is released here, outside the lock.
    }

    // The current snapshot; nullptr before the first publish().
    std::shared_ptr<const T> get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return current_;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const T> current_;
};

}  // namespace smdhttp
