// Checks the layouts that plugin/exception_runtime.cpp mirrors (plugin/exception_layout.h) against the C++
// runtime this program links, unreplaced: the sizes it asks malloc for (linked with -Wl,--wrap=malloc) and
// what it keeps at the mirrored places. Prints each mismatch and exits with 1.
#include "plugin/exception_layout.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <typeinfo>
#include <utility>

extern "C" void* __real_malloc(size_t size);

namespace {

// The size and block of the first malloc after Record(); zeros when none came.
alignas(16) const unsigned char noBlock[256] = {};
bool recording = false;
size_t recordedSize = 0;
const void* recordedBlock = noBlock;

void Record() {
    recordedSize = 0;
    recordedBlock = noBlock;
    recording = true;
}

int mismatches = 0;

void Expect(const char* what, unsigned long long runtime, unsigned long long mirror) {
    if (runtime != mirror) {
        std::printf(
            "mismatch: %s: the linked C++ runtime has %llu where plugin/exception_layout.h expects %llu\n",
            what, runtime, mirror);
        ++mismatches;
    }
}

uintptr_t Address(const void* pointer) {
    return reinterpret_cast<uintptr_t>(pointer);
}

DWORD WINAPI FirstThreadState(void*) {
    Record();
    return abi::__cxa_get_globals() != nullptr ? 0 : 1;  // declared const: an unused call is dropped
}

}  // namespace

extern "C" void* __wrap_malloc(size_t size) {
    void* block = __real_malloc(size);
    if (std::exchange(recording, false)) {
        recordedSize = size;
        recordedBlock = block;
    }
    return block;
}

int main() {
    try {
        Record();
        throw 1;
    } catch (int& caught) {
        Expect("bytes before a thrown object", recordedSize - sizeof(int), kThrownHeaderSize);
        const auto& header = static_cast<const RefcountedHeaderLayout*>(recordedBlock)->header;
        Expect("exceptionType", Address(header.exceptionType), Address(&typeid(int)));
        Expect("adjustedPtr", Address(header.adjustedPtr), Address(&caught));
        Expect("exception_class", header.unwindHeader.exception_class, 0x474e5543432b2b00);  // "GNUCC++\0"
        Expect("caughtExceptions", Address(abi::__cxa_get_globals()->caughtExceptions), Address(&header));
        try {
            Record();
            std::rethrow_exception(std::current_exception());
        } catch (int& again) {
            Expect("bytes of a dependent exception", recordedSize, kDependentExceptionSize);
            const auto* dependent = static_cast<const DependentExceptionLayout*>(recordedBlock);
            Expect("dependent primaryException", Address(dependent->exceptionType), Address(&again));
        }
    }
    // A thread's record comes from emulated TLS, which allocates it with a pointer in front.
    const HANDLE thread = CreateThread(nullptr, 0, FirstThreadState, nullptr, 0, nullptr);
    (void)WaitForSingleObject(thread, 10000);
    (void)CloseHandle(thread);
    Expect("bytes of the per-thread record", recordedSize - sizeof(void*), sizeof(abi::__cxa_eh_globals));
    return mismatches == 0 ? 0 : 1;
}
