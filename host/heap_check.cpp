// Heap validation over every heap of the process.
#include "host/heap_check.h"

#include <vector>

DWORD ProcessGlobalFlags() {
    using GetFlagsProc = ULONG(WINAPI*)();
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    // Through void (*)(): a direct cast between unrelated function types draws a warning.
    const auto getFlags = ntdll ? reinterpret_cast<GetFlagsProc>(reinterpret_cast<void (*)()>(
                                      GetProcAddress(ntdll, "RtlGetNtGlobalFlags")))
                                : nullptr;
    return getFlags ? getFlags() : 0;
}

bool HeapCheckingOn() {
    return (ProcessGlobalFlags() & kHeapCheckingFlags) == kHeapCheckingFlags;
}

int CountInvalidHeaps(int* total) {
    // Heaps may come and go between the two calls: ask again until the list fits.
    std::vector<HANDLE> heaps(16);
    for (;;) {
        const DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
        if (count <= heaps.size()) {
            heaps.resize(count);
            break;
        }
        heaps.resize(count + 8);
    }
    int invalid = 0;
    for (HANDLE heap : heaps) {
        if (!HeapValidate(heap, 0, nullptr)) {
            ++invalid;
        }
    }
    if (total != nullptr) {
        *total = static_cast<int>(heaps.size());
    }
    return invalid;
}
