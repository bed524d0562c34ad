#pragma once

#include <cstddef>
#include <new>

// A standard allocator whose blocks start on an Alignment-byte boundary, so
// that vector kernels can load from the start of a buffer without crossing
// cache lines.
template <typename T, std::size_t Alignment>
class AlignedAllocator {
public:
    using value_type = T;

    template <typename U>
    struct rebind {
        using other = AlignedAllocator<U, Alignment>;
    };

    AlignedAllocator() = default;
    template <typename U>
    AlignedAllocator(const AlignedAllocator<U, Alignment>&) noexcept {}

    T* allocate(std::size_t n) {
        return static_cast<T*>(::operator new (n * sizeof(T), std::align_val_t{Alignment}));
    }
    void deallocate(T* p, std::size_t) noexcept {
        ::operator delete (p, std::align_val_t{Alignment});
    }

    friend bool operator==(const AlignedAllocator&, const AlignedAllocator&) { return true; }
    friend bool operator!=(const AlignedAllocator&, const AlignedAllocator&) { return false; }
};
