// Heap validation over every heap of the process, and msvcrt's frees rerouted through a check of their block.
#include "host/heap_check.h"

#include "host/import_slots.h"

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

namespace {

using HeapFreeProc = BOOL(WINAPI*)(HANDLE, DWORD, LPVOID);
using HeapReAllocProc = LPVOID(WINAPI*)(HANDLE, DWORD, LPVOID, SIZE_T);

HeapFreeProc realHeapFree = nullptr;
HeapReAllocProc realHeapReAlloc = nullptr;
LONG damagedFrees = 0;

// A damaged block stays allocated and damaged, as a heap that checks tails on free would leave it.
BOOL WINAPI CheckedHeapFree(HANDLE heap, DWORD flags, LPVOID block) {
    if (block != nullptr && !HeapValidate(heap, 0, block)) {
        (void)InterlockedIncrement(&damagedFrees);
        return TRUE;
    }
    return realHeapFree(heap, flags, block);
}

LPVOID WINAPI CheckedHeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T size) {
    if (block != nullptr && !HeapValidate(heap, 0, block)) {
        (void)InterlockedIncrement(&damagedFrees);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return realHeapReAlloc(heap, flags, block, size);
}

}  // namespace

bool GuardHeapFrees() {
    if (realHeapFree != nullptr) {
        return true;
    }
    HMODULE msvcrt = GetModuleHandleW(L"msvcrt.dll");
    if (msvcrt == nullptr) {
        return false;
    }
    ForEachImportSlot(msvcrt, "kernel32.dll", [](const char* name, void** slot) {
        if (lstrcmpA(name, "HeapFree") == 0) {
            realHeapFree =
                reinterpret_cast<HeapFreeProc>(PatchSlot(slot, reinterpret_cast<void*>(&CheckedHeapFree)));
        } else if (lstrcmpA(name, "HeapReAlloc") == 0) {
            realHeapReAlloc = reinterpret_cast<HeapReAllocProc>(
                PatchSlot(slot, reinterpret_cast<void*>(&CheckedHeapReAlloc)));
        }
    });
    return realHeapFree != nullptr && realHeapReAlloc != nullptr;
}

bool HeapCheckingOn() {
    return (ProcessGlobalFlags() & kHeapCheckingFlags) == kHeapCheckingFlags;
}

HeapDamage CheckHeaps() {
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
    HeapDamage damage;
    damage.heaps = static_cast<int>(heaps.size());
    for (HANDLE heap : heaps) {
        if (!HeapValidate(heap, 0, nullptr)) {
            ++damage.invalidHeaps;
        }
    }
    damage.damagedFrees = static_cast<int>(InterlockedCompareExchange(&damagedFrees, 0, 0));
    return damage;
}
