// Counting allocator for the unit tests.
//
// alloc_counter.cpp replaces the global operator new and delete of the
// unit_tests binary (every form: plain, array, nothrow, sized, aligned); they
// forward to malloc/free and count each successful allocation on the calling
// thread. Tests use it to check that a code path allocates nothing:
//
//     testing_support::AllocationScope scope;
//     dev.process_payload();
//     EXPECT_EQ(scope.allocations(), 0u);
#pragma once

#include <cstddef>

namespace testing_support {

// Allocations made through operator new on this thread since it started.
std::size_t thread_allocations();

// Counts the allocations of this thread from its construction on.
class AllocationScope {
public:
    AllocationScope() : start_(thread_allocations()) {}
    std::size_t allocations() const { return thread_allocations() - start_; }

private:
    std::size_t start_;
};

}  // namespace testing_support
