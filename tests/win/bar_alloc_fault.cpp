// Replaces the nothrow form of operator new for the whole test executable; the bar library is linked in
// statically, so its binding allocations come here.
#include "bar_alloc_fault.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<int> countdown{0};
std::atomic<int> allocations{0};

}  // namespace

void FailNothrowAllocation(int n) {
    countdown = n;
}

int NothrowAllocations() {
    return allocations;
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++allocations;
    int left = countdown.load();
    while (left > 0 && !countdown.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 1) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}
