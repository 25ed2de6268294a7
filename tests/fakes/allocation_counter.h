#pragma once
// Replaces the global allocator with one that counts every allocation, for the
// programs that prove the steady-state major cycle allocates nothing (the allocation
// tests and the major-cycle benchmark). The replacement is defined here, not in a
// library: include this header in exactly one source file of such a program and in no
// other program.

#include <atomic>
#include <cstdlib>
#include <new>

namespace kestra::test {

inline std::atomic<long> g_allocationCount{0};

// Allocations made through operator new since the program started.
inline long AllocationCount() {
    return g_allocationCount.load();
}

}  // namespace kestra::test

void* operator new(std::size_t n) {
    ++kestra::test::g_allocationCount;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}

// GCC pairs the free() below with the new-expressions it can see inlined and takes them
// for a mismatch; this operator new allocates with malloc, so free() is its partner.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
