// Global operator new/delete with per-thread counters (counting_alloc.hpp).
//
// Block layout: [header | user bytes]. The header is kHeader bytes for the
// plain forms (keeps malloc's 16-byte alignment) and `align` bytes for the
// aligned forms; its last 8 bytes before the user pointer hold the requested
// size, so delete can account for the block whatever form freed it.
#include "counting_alloc.hpp"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t kHeader = 16;

// Plain integers: thread_locals that need no constructor, so counting never
// allocates itself.
thread_local std::uint64_t t_allocations = 0;
thread_local std::uint64_t t_bytes = 0;
thread_local std::int64_t t_live = 0;

void note_alloc(std::size_t size) {
    ++t_allocations;
    t_bytes += size;
    t_live += static_cast<std::int64_t>(size);
}

void store_size(unsigned char* user, std::size_t size) {
    std::memcpy(user - sizeof(std::size_t), &size, sizeof size);
}

std::size_t load_size(const unsigned char* user) {
    std::size_t size = 0;
    std::memcpy(&size, user - sizeof(std::size_t), sizeof size);
    return size;
}

// Blocks from the plain forms start kHeader bytes before the user pointer.
void* counted_alloc(std::size_t size) {
    if (size > static_cast<std::size_t>(-1) - kHeader) return nullptr;
    auto* base = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (base == nullptr) return nullptr;
    unsigned char* user = base + kHeader;
    store_size(user, size);
    note_alloc(size);
    return user;
}

void counted_free(void* p) {
    if (p == nullptr) return;
    auto* user = static_cast<unsigned char*>(p);
    t_live -= static_cast<std::int64_t>(load_size(user));
    std::free(user - kHeader);
}

std::size_t header_for(std::align_val_t align) {
    const auto a = static_cast<std::size_t>(align);
    return a < kHeader ? kHeader : a;
}

// Aligned blocks start header_for(align) bytes before the user pointer, so
// the user pointer keeps the alignment of the base.
void* counted_alloc_aligned(std::size_t size, std::align_val_t align) {
    const std::size_t header = header_for(align);
    if (size > static_cast<std::size_t>(-1) - 2 * header) return nullptr;
    // aligned_alloc wants a size that is a multiple of the alignment.
    const std::size_t total = (size + header + header - 1) / header * header;
    auto* base = static_cast<unsigned char*>(std::aligned_alloc(header, total));
    if (base == nullptr) return nullptr;
    unsigned char* user = base + header;
    store_size(user, size);
    note_alloc(size);
    return user;
}

void counted_free_aligned(void* p, std::align_val_t align) {
    if (p == nullptr) return;
    auto* user = static_cast<unsigned char*>(p);
    t_live -= static_cast<std::int64_t>(load_size(user));
    std::free(user - header_for(align));
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

namespace bench {

HeapCounters heap_counters() {
    HeapCounters c;
    c.allocations = t_allocations;
    c.bytes = t_bytes;
    c.live = t_live;
    return c;
}

}  // namespace bench

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

void operator delete(void* p) noexcept { counted_free(p); }
void operator delete[](void* p) noexcept { counted_free(p); }
void operator delete(void* p, std::size_t) noexcept { counted_free(p); }
void operator delete[](void* p, std::size_t) noexcept { counted_free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { counted_free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { counted_free(p); }
void operator delete(void* p, std::align_val_t al) noexcept { counted_free_aligned(p, al); }
void operator delete[](void* p, std::align_val_t al) noexcept { counted_free_aligned(p, al); }
void operator delete(void* p, std::size_t, std::align_val_t al) noexcept { counted_free_aligned(p, al); }
void operator delete[](void* p, std::size_t, std::align_val_t al) noexcept { counted_free_aligned(p, al); }
void operator delete(void* p, std::align_val_t al, const std::nothrow_t&) noexcept {
    counted_free_aligned(p, al);
}
void operator delete[](void* p, std::align_val_t al, const std::nothrow_t&) noexcept {
    counted_free_aligned(p, al);
}
