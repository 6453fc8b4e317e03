// Move-only owners for Win32 handles and scoped locks; the invalid value is part of each owner's type.
#pragma once

#include <windows.h>

template <typename Traits>
class UniqueHandle {
  public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : value(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    Handle get() const noexcept { return value; }
    explicit operator bool() const noexcept { return value != Traits::Invalid(); }

    // Gives up ownership without closing.
    Handle release() noexcept {
        Handle old = value;
        value = Traits::Invalid();
        return old;
    }

    // Closes the held handle, if any, and takes the new one.
    void reset(Handle handle = Traits::Invalid()) noexcept {
        Handle old = value;
        value = handle;
        if (old != Traits::Invalid()) {
            Traits::Close(old);
        }
    }

  private:
    Handle value = Traits::Invalid();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { (void)CloseHandle(handle); }
};

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) noexcept { (void)CloseHandle(handle); }
};

template <typename GdiHandle>
struct GdiObjectTraits {
    using Handle = GdiHandle;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { (void)DeleteObject(handle); }
};

using UniqueMutex = UniqueHandle<KernelHandleTraits>;
using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;

// An unnamed, unowned mutex; null when the system refuses one.
inline UniqueMutex MakeMutex() noexcept {
    return UniqueMutex(CreateMutexW(nullptr, FALSE, nullptr));
}

// Waits without time-out. A missing mutex makes the wait fail at once, and the guarded code runs unguarded.
class MutexLock {
  public:
    explicit MutexLock(HANDLE mutex) noexcept
        : mutex(mutex), owned(IsOwned(WaitForSingleObject(mutex, INFINITE))) {}
    ~MutexLock() {
        if (owned) {
            (void)ReleaseMutex(mutex);
        }
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

  private:
    static bool IsOwned(DWORD wait) noexcept { return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED; }

    HANDLE mutex;
    bool owned;
};

class CriticalSectionLock {
  public:
    explicit CriticalSectionLock(CRITICAL_SECTION& section) noexcept : section(section) {
        EnterCriticalSection(&section);
    }
    ~CriticalSectionLock() { LeaveCriticalSection(&section); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

  private:
    CRITICAL_SECTION& section;
};
