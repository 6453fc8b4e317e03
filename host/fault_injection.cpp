// Refused allocations and a full disk for the plug-in: hooks in its import slots, bound through msvcrt's
// export table while the plug-in loads, and through its slots afterwards.
#include "host/fault_injection.h"

#include "host/import_slots.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace {

LONG allocations = 0;
LONG refuseFrom = 0;  // 0: refuse nothing
LONG refuseLater = 0;

// Counts one allocation and says whether the policy refuses it.
bool Refused() {
    const LONG n = InterlockedIncrement(&allocations);
    const LONG k = InterlockedCompareExchange(&refuseFrom, 0, 0);
    if (k > 0 && (n == k || (n > k && InterlockedCompareExchange(&refuseLater, 0, 0) != 0))) {
        errno = ENOMEM;
        return true;
    }
    return false;
}

enum Allocator { kMalloc, kCalloc, kRealloc, kStrdup, kWcsdup, kAllocators };

void* real[kAllocators];  // msvcrt's own functions

template <typename Proc>
Proc Real(Allocator which) {
    return reinterpret_cast<Proc>(real[which]);
}

void* RefusableMalloc(size_t size) {
    return Refused() ? nullptr : Real<decltype(&malloc)>(kMalloc)(size);
}

void* RefusableCalloc(size_t count, size_t size) {
    return Refused() ? nullptr : Real<decltype(&calloc)>(kCalloc)(count, size);
}

// A refused reallocation leaves the block as it was. One to nothing frees the block: it is no allocation.
void* RefusableRealloc(void* block, size_t size) {
    if ((block == nullptr || size != 0) && Refused()) {
        return nullptr;
    }
    return Real<decltype(&realloc)>(kRealloc)(block, size);
}

char* RefusableStrdup(const char* text) {
    return Refused() ? nullptr : Real<decltype(&_strdup)>(kStrdup)(text);
}

wchar_t* RefusableWcsdup(const wchar_t* text) {
    return Refused() ? nullptr : Real<decltype(&_wcsdup)>(kWcsdup)(text);
}

struct Hook {
    const char* name;
    void* hook;
};

const Hook kAllocatorHooks[kAllocators] = {{"malloc", reinterpret_cast<void*>(&RefusableMalloc)},
                                           {"calloc", reinterpret_cast<void*>(&RefusableCalloc)},
                                           {"realloc", reinterpret_cast<void*>(&RefusableRealloc)},
                                           {"_strdup", reinterpret_cast<void*>(&RefusableStrdup)},
                                           {"_wcsdup", reinterpret_cast<void*>(&RefusableWcsdup)}};

SRWLOCK diskLock = SRWLOCK_INIT;
long long diskLeft = -1;  // negative: no limit, guarded by diskLock

struct DiskLock {
    DiskLock() { AcquireSRWLockExclusive(&diskLock); }
    ~DiskLock() { ReleaseSRWLockExclusive(&diskLock); }
    DiskLock(const DiskLock&) = delete;
    DiskLock& operator=(const DiskLock&) = delete;
};

LONG failing[kFailures];  // nonzero: that failure is on
LONG fileCalls = 0;
LONG killAt = 0;  // 0: never

bool Failing(Failure which) {
    return InterlockedCompareExchange(&failing[which], 0, 0) != 0;
}

// Counts one call of the plug-in's file functions; the one that killat names ends the process.
void CountFileCall() {
    const LONG n = InterlockedIncrement(&fileCalls);
    if (n == InterlockedCompareExchange(&killAt, 0, 0)) {
        (void)TerminateProcess(GetCurrentProcess(), kKilledExitCode);
    }
}

// The system's functions that the hooks stand in for, as the plug-in's slots held them before.
enum HookedFunction {
    kWriteFile,
    kCreateFileW,
    kReadFile,
    kCloseHandle,
    kDeleteFileW,
    kFlushFileBuffers,
    kGetFileInformationByHandle,
    kGetFileSizeEx,
    kMoveFileExW,
    kSetEndOfFile,
    kSetFileAttributesW,
    kSetFilePointerEx,
    kHookedFunctions
};
void* realFunctions[kHookedFunctions];

template <HookedFunction Which, typename Function>
Function RealFunction(Function) {
    return reinterpret_cast<Function>(realFunctions[Which]);
}

// A file function of the plug-in's that only counts.
template <HookedFunction Which, typename R, typename... Args>
R WINAPI Counted(Args... args) {
    CountFileCall();
    return reinterpret_cast<R(WINAPI*)(Args...)>(realFunctions[Which])(args...);
}

// Writes use room only where they grow the file, as on a real disk.
BOOL WINAPI
LimitedWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    CountFileCall();
    const auto realWrite = RealFunction<kWriteFile>(&WriteFile);
    DiskLock lock;
    LARGE_INTEGER end{};
    LARGE_INTEGER at{};
    if (diskLeft < 0 || !GetFileSizeEx(file, &end) ||
        !SetFilePointerEx(file, LARGE_INTEGER{}, &at, FILE_CURRENT)) {
        return realWrite(file, data, size, written, overlapped);
    }
    const long long inside = end.QuadPart > at.QuadPart ? end.QuadPart - at.QuadPart : 0;
    const long long growth = size > inside ? size - inside : 0;
    const bool fits = growth <= diskLeft;
    const DWORD allowed = fits ? size : static_cast<DWORD>(inside + diskLeft);
    DWORD done = 0;
    if (allowed > 0 && !realWrite(file, data, allowed, &done, overlapped)) {
        return FALSE;
    }
    diskLeft -= done > inside ? done - inside : 0;
    if (written != nullptr) {
        *written = done;
    }
    if (!fits) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return TRUE;
}

bool Creates(DWORD disposition) {
    return disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
}

HANDLE WINAPI RefusingCreateFileW(LPCWSTR name,
                                  DWORD access,
                                  DWORD share,
                                  LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition,
                                  DWORD flags,
                                  HANDLE pattern) {
    CountFileCall();
    if (Failing(kNewFiles) && Creates(disposition) && GetFileAttributesW(name) == INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return RealFunction<kCreateFileW>(&CreateFileW)(name, access, share, security, disposition, flags,
                                                    pattern);
}

BOOL WINAPI FailingReadFile(HANDLE file, LPVOID data, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
    CountFileCall();
    if (Failing(kRead)) {
        if (read != nullptr) {
            *read = 0;
        }
        SetLastError(ERROR_IO_DEVICE);
        return FALSE;
    }
    return RealFunction<kReadFile>(&ReadFile)(file, data, size, read, overlapped);
}

// A hook in the plug-in's slot for one import.
struct SlotHook {
    const char* name;
    void* hook;
    HookedFunction real;
};

template <HookedFunction Which, typename R, typename... Args>
SlotHook CountingHook(const char* name, R(WINAPI*)(Args...)) {
    return {name, reinterpret_cast<void*>(&Counted<Which, R, Args...>), Which};
}

#define FINDRAIL_COUNTED(function) CountingHook<k##function>(#function, &function)

const SlotHook kKernelHooks[] = {
    {"WriteFile", reinterpret_cast<void*>(&LimitedWriteFile), kWriteFile},
    {"CreateFileW", reinterpret_cast<void*>(&RefusingCreateFileW), kCreateFileW},
    FINDRAIL_COUNTED(CloseHandle),
    FINDRAIL_COUNTED(DeleteFileW),
    FINDRAIL_COUNTED(FlushFileBuffers),
    FINDRAIL_COUNTED(GetFileInformationByHandle),
    FINDRAIL_COUNTED(GetFileSizeEx),
    FINDRAIL_COUNTED(MoveFileExW),
    FINDRAIL_COUNTED(SetEndOfFile),
    FINDRAIL_COUNTED(SetFileAttributesW),
    FINDRAIL_COUNTED(SetFilePointerEx),
};

#undef FINDRAIL_COUNTED

// Points the plug-in's slots at the hooks, keeping the first function found in each as the real one.
void HookSlots(HMODULE module, const char* dll, const SlotHook* hooks, size_t count) {
    ForEachImportSlot(module, dll, [&](const char* name, void** slot) {
        for (size_t i = 0; i < count; ++i) {
            if (lstrcmpA(name, hooks[i].name) == 0 && *slot != hooks[i].hook) {
                void* original = PatchSlot(slot, hooks[i].hook);
                if (realFunctions[hooks[i].real] == nullptr) {
                    realFunctions[hooks[i].real] = original;
                }
            }
        }
    });
}

const IMAGE_DATA_DIRECTORY& Directory(const BYTE* base, int entry) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew)
        ->OptionalHeader.DataDirectory[entry];
}

// Writes a 32-bit entry of a module's tables; false when its page cannot be made writable.
bool Store(DWORD* entry, DWORD value) {
    DWORD protection = 0;
    if (!VirtualProtect(entry, sizeof(*entry), PAGE_READWRITE, &protection)) {
        return false;
    }
    *entry = value;
    (void)VirtualProtect(entry, sizeof(*entry), protection, &protection);
    return true;
}

// Points the module's slots for the named imports from `dll` at the hooks. Returns how many held something
// else than `bound` (what the loader should have bound them to; null: anything else).
int PatchImports(HMODULE module, const char* dll, const Hook* hooks, const void* const* bound, int count) {
    int patched = 0;
    ForEachImportSlot(module, dll, [&](const char* name, void** slot) {
        for (int i = 0; i < count; ++i) {
            if (lstrcmpA(name, hooks[i].name) == 0 && (bound == nullptr || *slot != bound[i])) {
                (void)PatchSlot(slot, hooks[i].hook);
                ++patched;
            }
        }
    });
    return patched;
}

// The plug-in's own imports, loaded before msvcrt's exports change, so that no other module binds to the
// hooks. They stay loaded, as in a host that had them already.
void LoadDependencies(const std::wstring& path) {
    HMODULE image = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (image == nullptr) {
        return;
    }
    // The low bits of such a handle mark it as a mapping that was not loaded.
    const auto* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(image) & ~ULONG_PTR{3});
    const IMAGE_DATA_DIRECTORY& imports = Directory(base, IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (imports.VirtualAddress != 0) {
        for (auto* from = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             from->Name != 0; ++from) {
            const char* name = reinterpret_cast<const char*>(base + from->Name);
            if (GetModuleHandleA(name) == nullptr) {
                (void)LoadLibraryA(name);
            }
        }
    }
    (void)FreeLibrary(image);
}

// A module's export entries for hooked functions, what they held, and what points the loader at the hooks.
struct Exports {
    static constexpr int kMost = kAllocators;
    BYTE* base = nullptr;
    int count = 0;
    DWORD* entries[kMost] = {};
    DWORD original[kMost] = {};
    DWORD hooks[kMost] = {};
};

#ifdef _WIN64
// An export entry is a 32-bit offset from msvcrt's base: the hooks are reached through jumps in a page
// allocated within 4 GB above it. Null when no such page is free.
BYTE* JumpPage(BYTE* base) {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const ULONG_PTR granularity = system.dwAllocationGranularity;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const BYTE* at =
        base + reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew)->OptionalHeader.SizeOfImage;
    MEMORY_BASIC_INFORMATION region{};
    while (static_cast<ULONG_PTR>(at - base) < 0xFFFF0000u &&
           VirtualQuery(at, &region, sizeof(region)) != 0) {
        auto* regionStart = static_cast<BYTE*>(region.BaseAddress);
        BYTE* start = reinterpret_cast<BYTE*>((reinterpret_cast<ULONG_PTR>(regionStart) + granularity - 1) &
                                              ~(granularity - 1));
        if (region.State == MEM_FREE && start + system.dwPageSize <= regionStart + region.RegionSize &&
            static_cast<ULONG_PTR>(start + system.dwPageSize - base) <= 0xFFFFFFFFu) {
            if (void* page =
                    VirtualAlloc(start, system.dwPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE)) {
                return static_cast<BYTE*>(page);
            }
        }
        at = regionStart + region.RegionSize;
    }
    return nullptr;
}
#endif

// Found once per module, before any change. The module's own functions go to real[] whenever it is loaded;
// the entries are rerouted only when the hooks can be reached from it (a base in the result).
Exports FindExports(const wchar_t* module, const Hook* hooks, int count, void** real) {
    Exports e;
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(module));
    const DWORD directory = base ? Directory(base, IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress : 0;
    if (directory == 0 || count > Exports::kMost) {
        return e;
    }
    e.count = count;
    const auto* table = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory);
    const auto* names = reinterpret_cast<const DWORD*>(base + table->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const WORD*>(base + table->AddressOfNameOrdinals);
    auto* functions = reinterpret_cast<DWORD*>(base + table->AddressOfFunctions);
    for (int i = 0; i < count; ++i) {
        real[i] = reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(base), hooks[i].name));
        for (DWORD n = 0; n < table->NumberOfNames && real[i] != nullptr; ++n) {
            if (lstrcmpA(reinterpret_cast<const char*>(base + names[n]), hooks[i].name) == 0) {
                e.entries[i] = &functions[ordinals[n]];
                e.original[i] = *e.entries[i];
                break;
            }
        }
    }
#ifdef _WIN64
    BYTE* jumps = JumpPage(base);
    if (jumps == nullptr) {
        return e;
    }
    for (int i = 0; i < count; ++i) {
        // jmp [rip+0], followed by the hook's address
        const BYTE code[6] = {0xFF, 0x25, 0, 0, 0, 0};
        memcpy(jumps + 16 * i, code, sizeof(code));
        memcpy(jumps + 16 * i + sizeof(code), &hooks[i].hook, sizeof(void*));
        e.hooks[i] = static_cast<DWORD>(jumps + 16 * i - base);
    }
    DWORD protection = 0;
    (void)VirtualProtect(jumps, 16 * count, PAGE_EXECUTE_READ, &protection);
    (void)FlushInstructionCache(GetCurrentProcess(), jumps, 16 * count);
#else
    // The offset wraps around the 32-bit address space to the hook.
    for (int i = 0; i < count; ++i) {
        e.hooks[i] = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(hooks[i].hook) -
                                        reinterpret_cast<ULONG_PTR>(base));
    }
#endif
    e.base = base;
    return e;
}

// Sets a module's export entries for its hooks; false when one could not be written.
bool SetExports(const Exports& exports, const DWORD* values) {
    bool stored = exports.base != nullptr;
    for (int i = 0; i < exports.count && stored; ++i) {
        stored = exports.entries[i] == nullptr || Store(exports.entries[i], values[i]);
    }
    return stored;
}

}  // namespace

HMODULE LoadWithFaults(const std::wstring& path, bool* startCounted) {
    LoadDependencies(path);
    // The allocations of the C runtime's start-up and the settings file's read at module start are the
    // plug-in's too: both happen inside LoadLibraryW, before its slots can be changed.
    static const Exports allocators = FindExports(L"msvcrt.dll", kAllocatorHooks, kAllocators, real);
    static const Hook kReadHook[] = {{"ReadFile", reinterpret_cast<void*>(&FailingReadFile)}};
    static const Exports reads = FindExports(L"kernel32.dll", kReadHook, 1, &realFunctions[kReadFile]);
    const bool rerouted = SetExports(allocators, allocators.hooks);
    (void)SetExports(reads, reads.hooks);
    (void)InterlockedExchange(&allocations, 0);
    HMODULE module = LoadLibraryW(path.c_str());
    (void)SetExports(reads, reads.original);
    (void)SetExports(allocators, allocators.original);
    *startCounted = false;
    if (module == nullptr) {
        return nullptr;
    }
    // What the loader binds through a rerouted entry: the module's base plus the entry, wrapping in 32 bits.
    const auto bound = [](const Exports& exports, int i) {
        return reinterpret_cast<const void*>(reinterpret_cast<ULONG_PTR>(exports.base) + exports.hooks[i]);
    };
    const void* allocatorsBound[kAllocators] = {};
    for (int i = 0; i < kAllocators; ++i) {
        allocatorsBound[i] = bound(allocators, i);
    }
    const int missed = PatchImports(module, "msvcrt.dll", kAllocatorHooks, allocatorsBound, kAllocators);
    *startCounted = rerouted && missed == 0;
    const void* readBound[] = {bound(reads, 0)};
    (void)PatchImports(module, "kernel32.dll", kReadHook, readBound, 1);
    HookSlots(module, "kernel32.dll", kKernelHooks, sizeof(kKernelHooks) / sizeof(kKernelHooks[0]));
    return module;
}

void RefuseAllocations(LONG k, bool andLater) {
    (void)InterlockedExchange(&refuseLater, andLater ? 1 : 0);
    (void)InterlockedExchange(&refuseFrom, k);
}

LONG PluginAllocations() {
    return InterlockedCompareExchange(&allocations, 0, 0);
}

void LimitDiskWrites(long long bytes) {
    DiskLock lock;
    diskLeft = bytes;
}

void SetFailure(Failure which, bool on) {
    (void)InterlockedExchange(&failing[which], on ? 1 : 0);
}

void KillAtFileCall(LONG k) {
    (void)InterlockedExchange(&killAt, 0);
    (void)InterlockedExchange(&fileCalls, 0);
    (void)InterlockedExchange(&killAt, k);
}

LONG PluginFileCalls() {
    return InterlockedCompareExchange(&fileCalls, 0, 0);
}
