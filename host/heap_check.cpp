// Heap validation over every heap of the process, and msvcrt's frees rerouted through a check of their block.
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

// Points one import slot at `replacement` and returns what it held; null on failure.
void* PatchSlot(void** slot, void* replacement) {
    DWORD protection = 0;
    if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection)) {
        return nullptr;
    }
    void* original = *slot;
    *slot = replacement;
    (void)VirtualProtect(slot, sizeof(*slot), protection, &protection);
    return original;
}

}  // namespace

bool GuardHeapFrees() {
    if (realHeapFree != nullptr) {
        return true;
    }
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(L"msvcrt.dll"));
    if (base == nullptr) {
        return false;
    }
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return false;
    }
    for (auto* module = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         module->Name != 0; ++module) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + module->Name), "kernel32.dll") != 0 ||
            module->OriginalFirstThunk == 0) {
            continue;
        }
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto** slots = reinterpret_cast<void**>(base + module->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const char* name =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name;
            if (lstrcmpA(name, "HeapFree") == 0) {
                realHeapFree = reinterpret_cast<HeapFreeProc>(
                    PatchSlot(slots, reinterpret_cast<void*>(&CheckedHeapFree)));
            } else if (lstrcmpA(name, "HeapReAlloc") == 0) {
                realHeapReAlloc = reinterpret_cast<HeapReAllocProc>(
                    PatchSlot(slots, reinterpret_cast<void*>(&CheckedHeapReAlloc)));
            }
        }
    }
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
