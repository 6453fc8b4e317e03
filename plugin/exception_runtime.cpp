// Replaces the C++ runtime's per-thread exception state and its exception allocator. The statically linked
// runtime keeps a thread's state in emulated thread-local storage, which aborts the process when the heap
// refuses it on the thread's first throw, and its allocator falls back on a pool that it mallocs at start,
// which leaves nothing when that malloc was refused. Here both fall back on static storage instead, so that
// a bad_alloc can always be thrown and caught, whatever the heap says. That needs the C++ runtime linked in,
// as plugin/CMakeLists.txt checks: a shared one would free the blocks handed out here, static ones too.
#include "plugin/exception_runtime.h"

#include "plugin/exception_layout.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

using ThreadState = __cxxabiv1::__cxa_eh_globals;

// Threads that use exceptions in this module at the same time; past that, the process heap serves.
constexpr int kStaticThreads = 64;
ThreadState threadStates[kStaticThreads];
LONG threadStateTaken[kStaticThreads];
// When neither a slot nor the process heap nor a TLS index can be had: shared, but never an abort.
ThreadState sharedState;

constexpr LONG kNoIndex = static_cast<LONG>(TLS_OUT_OF_INDEXES);
LONG tlsIndex = kNoIndex;

DWORD ThreadStateIndex() noexcept {
    const LONG index = InterlockedCompareExchange(&tlsIndex, kNoIndex, kNoIndex);
    if (index != kNoIndex) {
        return static_cast<DWORD>(index);
    }
    const DWORD fresh = TlsAlloc();
    if (fresh == TLS_OUT_OF_INDEXES) {
        return TLS_OUT_OF_INDEXES;
    }
    const LONG earlier = InterlockedCompareExchange(&tlsIndex, static_cast<LONG>(fresh), kNoIndex);
    if (earlier != kNoIndex) {
        (void)TlsFree(fresh);
        return static_cast<DWORD>(earlier);
    }
    return fresh;
}

ThreadState* ClaimThreadState() noexcept {
    for (int i = 0; i < kStaticThreads; ++i) {
        if (InterlockedCompareExchange(&threadStateTaken[i], 1, 0) == 0) {
            threadStates[i] = ThreadState{};
            return &threadStates[i];
        }
    }
    if (void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ThreadState))) {
        return static_cast<ThreadState*>(block);
    }
    return &sharedState;
}

// Static blocks for exceptions thrown while the heap refuses: a bad_alloc and its like fit many times over.
constexpr size_t kSpareBlockSize = 512;
constexpr int kSpareBlocks = 16;
alignas(_Unwind_Exception) unsigned char spareBlocks[kSpareBlocks][kSpareBlockSize];
LONG spareTaken[kSpareBlocks];

void* TakeSpare(size_t size) noexcept {
    if (size > kSpareBlockSize) {
        return nullptr;
    }
    for (int i = 0; i < kSpareBlocks; ++i) {
        if (InterlockedCompareExchange(&spareTaken[i], 1, 0) == 0) {
            return spareBlocks[i];
        }
    }
    return nullptr;
}

// Frees a block from either source.
void Release(void* block) noexcept {
    const uintptr_t offset = reinterpret_cast<uintptr_t>(block) - reinterpret_cast<uintptr_t>(spareBlocks);
    if (offset < sizeof(spareBlocks)) {
        (void)InterlockedExchange(&spareTaken[offset / kSpareBlockSize], 0);
        return;
    }
    std::free(block);
}

// A block of `size` bytes whose first `header` bytes are zero, as the runtime hands out its headers.
void* AllocateZeroedHeader(size_t size, size_t header) noexcept {
    void* block = std::malloc(size);
    if (block == nullptr) {
        block = TakeSpare(size);
    }
    if (block == nullptr) {
        std::terminate();  // as the runtime does when its pool is empty too
    }
    std::memset(block, 0, header);
    return block;
}

#if defined(__i386__) && !defined(__SEH__) && !defined(__USING_SJLJ_EXCEPTIONS__)
// The dwarf unwinder linked into this module only searches the tables registered with it. The start-up code
// registers this module's tables with a shared GCC runtime instead when one is already loaded, and a throw
// here then finds no handler and terminates the process.
extern "C" void __register_frame_info(const void* begin, void* object);
extern "C" void* __deregister_frame_info(const void* begin);
extern "C" const void* _Unwind_Find_FDE(void* pc, void* bases);

const void* ownFrameTables = nullptr;
// The unwinder's bookkeeping record for one module; larger than it needs.
alignas(void*) unsigned char frameObject[16 * sizeof(void*)];

// Marks a place among this file's frame entries, which the linker gathers with every other object's into one
// section. That section is found by the mark's address: an unstripped image keeps its name in the COFF string
// table, which the loader does not map.
[[gnu::used, gnu::section(".eh_frame")]] alignas(4) const char frameTablesMark[] = {};

const void* FindFrameTables(HINSTANCE instance) noexcept {
    const auto base = reinterpret_cast<uintptr_t>(instance);
    const uintptr_t mark = reinterpret_cast<uintptr_t>(frameTablesMark) - base;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (mark - section->VirtualAddress < section->Misc.VirtualSize) {
            return reinterpret_cast<const void*>(base + section->VirtualAddress);
        }
    }
    return nullptr;
}

void RegisterOwnFrameTables(HINSTANCE instance) noexcept {
    void* bases[4] = {};
    void* ownCode = reinterpret_cast<void*>(&RegisterOwnFrameTables);
    if (_Unwind_Find_FDE(static_cast<char*>(ownCode) + 1, bases) != nullptr) {
        return;
    }
    ownFrameTables = FindFrameTables(instance);
    if (ownFrameTables != nullptr) {
        __register_frame_info(ownFrameTables, frameObject);
    }
}

void DeregisterOwnFrameTables() noexcept {
    if (ownFrameTables != nullptr) {
        (void)__deregister_frame_info(ownFrameTables);
        ownFrameTables = nullptr;
    }
}
#else
// The x86_64 build unwinds through the system's tables.
void RegisterOwnFrameTables(HINSTANCE) noexcept {}
void DeregisterOwnFrameTables() noexcept {}
#endif

}  // namespace

extern "C" {

__cxxabiv1::__cxa_eh_globals* __cxxabiv1::__cxa_get_globals() noexcept {
    // A throw must not change the error that the code it leaves has set.
    const DWORD lastError = GetLastError();
    const DWORD index = ThreadStateIndex();
    if (index == TLS_OUT_OF_INDEXES) {
        SetLastError(lastError);
        return &sharedState;
    }
    auto* state = static_cast<ThreadState*>(TlsGetValue(index));
    if (state == nullptr) {
        state = ClaimThreadState();
        (void)TlsSetValue(index, state);
    }
    SetLastError(lastError);
    return state;
}

__cxxabiv1::__cxa_eh_globals* __cxxabiv1::__cxa_get_globals_fast() noexcept {
    return __cxa_get_globals();
}

void* __cxxabiv1::__cxa_allocate_exception(size_t thrownSize) noexcept {
    const size_t size = thrownSize + kThrownHeaderSize;
    if (size < thrownSize) {
        std::terminate();
    }
    return static_cast<unsigned char*>(AllocateZeroedHeader(size, kThrownHeaderSize)) + kThrownHeaderSize;
}

void __cxxabiv1::__cxa_free_exception(void* thrown) noexcept {
    Release(static_cast<unsigned char*>(thrown) - kThrownHeaderSize);
}

__cxxabiv1::__cxa_dependent_exception* __cxxabiv1::__cxa_allocate_dependent_exception() noexcept {
    return static_cast<__cxa_dependent_exception*>(
        AllocateZeroedHeader(kDependentExceptionSize, kDependentExceptionSize));
}

void __cxxabiv1::__cxa_free_dependent_exception(__cxa_dependent_exception* dependent) noexcept {
    Release(dependent);
}

}  // extern "C"

void ExceptionRuntimeAttach(HINSTANCE instance) noexcept {
    RegisterOwnFrameTables(instance);
}

void ExceptionRuntimeThreadDetach() noexcept {
    const LONG index = InterlockedCompareExchange(&tlsIndex, kNoIndex, kNoIndex);
    if (index == kNoIndex) {
        return;
    }
    auto* state = static_cast<ThreadState*>(TlsGetValue(static_cast<DWORD>(index)));
    if (state == nullptr) {
        return;
    }
    (void)TlsSetValue(static_cast<DWORD>(index), nullptr);
    const uintptr_t offset = reinterpret_cast<uintptr_t>(state) - reinterpret_cast<uintptr_t>(threadStates);
    if (offset < sizeof(threadStates)) {
        (void)InterlockedExchange(&threadStateTaken[offset / sizeof(ThreadState)], 0);
    } else if (state != &sharedState) {
        (void)HeapFree(GetProcessHeap(), 0, state);
    }
}

void ExceptionRuntimeDetach() noexcept {
    ExceptionRuntimeThreadDetach();
    DeregisterOwnFrameTables();
    const LONG index = InterlockedExchange(&tlsIndex, kNoIndex);
    if (index != kNoIndex) {
        (void)TlsFree(static_cast<DWORD>(index));
    }
}
