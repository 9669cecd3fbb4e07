// Counting allocator for the unit tests.
//
// The unit_tests binary is linked with the benchmarks' counting allocator
// (bench/support/counting_alloc.cpp), which replaces the global operator new
// and delete in every form and counts each allocation on the calling thread.
// Tests use it to check that a code path allocates nothing:
//
//     testing_support::AllocationScope scope;
//     dev.process_payload();
//     EXPECT_EQ(scope.allocations(), 0u);
#pragma once

#include <cstddef>

#include "bench/support/counting_alloc.hpp"

namespace testing_support {

// Counts the allocations of this thread from its construction on.
class AllocationScope {
public:
    std::size_t allocations() const { return static_cast<std::size_t>(scope_.allocations()); }

private:
    bench::HeapScope scope_;
};

}  // namespace testing_support
