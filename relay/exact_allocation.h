// Memory of their own exact size for completion handlers that stay pending for hours.
// Asio's default recycles the last freed operation's block for the next one, so an
// idle connection's readiness wait would keep a block the size of the accept that came
// before it, twice what it needs, ten thousand times over.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

template <typename T>
struct ExactAllocator {
    using value_type = T;
    ExactAllocator() = default;
    template <typename U>
    ExactAllocator(const ExactAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T))); }
    void deallocate(T* p, size_t) { ::operator delete(p); }
    bool operator==(const ExactAllocator&) const { return true; }
    bool operator!=(const ExactAllocator&) const { return false; }
};

template <typename Handler>
struct ExactlyAllocated {
    Handler handler;
    using allocator_type = ExactAllocator<void>;
    allocator_type get_allocator() const { return {}; }
    template <typename... Args>
    void operator()(Args&&... args) {
        handler(std::forward<Args>(args)...);
    }
};

template <typename Handler>
ExactlyAllocated<Handler> exactly_allocated(Handler handler) {
    return {std::move(handler)};
}
