// Wraps malloc for the whole test executable (linked with --wrap=malloc); the bar library is linked in
// statically, so its binding allocations come here.
#include "bar_alloc_fault.h"

#include <atomic>
#include <cstdlib>

extern "C" void* __real_malloc(size_t size);

namespace {

std::atomic<int> countdown{0};
std::atomic<int> allocations{0};

}  // namespace

void FailAllocation(int n) {
    countdown = n;
}

int Allocations() {
    return allocations;
}

extern "C" void* __wrap_malloc(size_t size) {
    ++allocations;
    int left = countdown.load();
    while (left > 0 && !countdown.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 1) {
        return nullptr;
    }
    return __real_malloc(size);
}
