// Counting allocator of the benchmark and budget programs and the unit tests.
//
// counting_alloc.cpp replaces the global operator new and delete of the
// program it is linked into (every form: plain, array, nothrow, sized,
// aligned). Each block carries a small header with its requested size, so
// the program knows how many blocks and bytes the calling thread allocated
// and how many bytes it still holds. The counters are per thread: a
// measurement allocates and frees on the thread that reads them.
//
//     bench::HeapScope scope;
//     dev.process_payload();
//     scope.allocations();   // blocks allocated since the scope began
//     scope.live_bytes();    // bytes allocated minus bytes freed since then
#pragma once

#include <cstddef>
#include <cstdint>

namespace bench {

struct HeapCounters {
    std::uint64_t allocations = 0;  // blocks handed out
    std::uint64_t bytes = 0;        // bytes requested in them
    std::int64_t live = 0;          // bytes requested minus bytes released
};

// This thread's counters since it started.
HeapCounters heap_counters();

class HeapScope {
public:
    HeapScope() : start_(heap_counters()) {}
    void restart() { start_ = heap_counters(); }
    std::uint64_t allocations() const { return heap_counters().allocations - start_.allocations; }
    std::uint64_t bytes() const { return heap_counters().bytes - start_.bytes; }
    std::int64_t live_bytes() const { return heap_counters().live - start_.live; }

private:
    HeapCounters start_;
};

}  // namespace bench
