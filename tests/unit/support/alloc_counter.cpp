// Global operator new/delete of the unit_tests binary: malloc/free plus a
// per-thread count of allocations (see alloc_counter.hpp).
#include "alloc_counter.hpp"

#include <cstdlib>
#include <new>

namespace {

// Plain integer: a thread_local needing no constructor, so counting never
// allocates itself.
thread_local std::size_t t_allocations = 0;

void* counted_alloc(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p != nullptr) ++t_allocations;
    return p;
}

void* counted_alloc_aligned(std::size_t size, std::align_val_t align) {
    std::size_t a = static_cast<std::size_t>(align);
    if (a < sizeof(void*)) a = sizeof(void*);
    // aligned_alloc wants a size that is a multiple of the alignment.
    const std::size_t rounded = (size == 0 ? a : (size + a - 1) / a * a);
    void* p = std::aligned_alloc(a, rounded);
    if (p != nullptr) ++t_allocations;
    return p;
}

void* alloc_or_throw(std::size_t size) {
    for (;;) {
        if (void* p = counted_alloc(size)) return p;
        std::new_handler h = std::get_new_handler();
        if (h == nullptr) throw std::bad_alloc();
        h();
    }
}

void* alloc_aligned_or_throw(std::size_t size, std::align_val_t align) {
    for (;;) {
        if (void* p = counted_alloc_aligned(size, align)) return p;
        std::new_handler h = std::get_new_handler();
        if (h == nullptr) throw std::bad_alloc();
        h();
    }
}

}  // namespace

namespace testing_support {

std::size_t thread_allocations() { return t_allocations; }

}  // namespace testing_support

void* operator new(std::size_t size) { return alloc_or_throw(size); }
void* operator new[](std::size_t size) { return alloc_or_throw(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return counted_alloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return counted_alloc(size); }
void* operator new(std::size_t size, std::align_val_t al) { return alloc_aligned_or_throw(size, al); }
void* operator new[](std::size_t size, std::align_val_t al) { return alloc_aligned_or_throw(size, al); }
void* operator new(std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
    return counted_alloc_aligned(size, al);
}
void* operator new[](std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
    return counted_alloc_aligned(size, al);
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
