// The C++ runtime's private layouts that plugin/exception_runtime.cpp stands in for, mirrored from libsupc++
// of GCC's mingw-w64 build (unwind-cxx.h: __cxa_refcounted_exception, __cxa_dependent_exception,
// __cxa_eh_globals): the replaced allocator must leave the runtime the room it writes its headers in, and the
// runtime reads and writes the replaced per-thread record. tests/win/exception_layout_probe.cpp checks them
// against the runtime that is linked.
#pragma once

#include <cxxabi.h>
#include <unwind.h>

#include <cstddef>

#if !defined(__GLIBCXX__) || !defined(__GXX_ABI_VERSION)
#error "the mirrored exception layouts are libsupc++'s: build with GCC's libstdc++"
#endif
#if defined(__i386__) && (defined(__SEH__) || defined(__USING_SJLJ_EXCEPTIONS__))
#error "the i686 build must use the dwarf (dw2) unwinder, whose headers and frame tables are mirrored"
#endif
#if defined(__x86_64__) && !defined(__SEH__)
#error "the x86_64 build must use the SEH unwinder, whose headers are mirrored"
#endif

// __cxa_exception, the header right before each thrown object.
struct ExceptionHeaderLayout {
    void* exceptionType;
    void (*exceptionDestructor)(void*);
    void (*unexpectedHandler)();
    void (*terminateHandler)();
    void* nextException;
    int handlerCount;
    int handlerSwitchValue;
    const unsigned char* actionRecord;
    const unsigned char* languageSpecificData;
    _Unwind_Ptr catchTemp;
    void* adjustedPtr;
    _Unwind_Exception unwindHeader;
};

// __cxa_refcounted_exception: what the runtime allocates in front of a thrown object.
struct RefcountedHeaderLayout {
    int referenceCount;
    ExceptionHeaderLayout header;
};

// __cxa_dependent_exception (what rethrowing an exception_ptr allocates) is laid out as the header it stands
// in for, with its primary exception in the type's place and an unused pointer in the destructor's.
using DependentExceptionLayout = ExceptionHeaderLayout;

// The per-thread record: the stack of caught exceptions and the count of uncaught ones.
struct __cxxabiv1::__cxa_eh_globals {
    void* caughtExceptions;
    unsigned int uncaughtExceptions;
};

// Room before each thrown object. As a multiple of the header's alignment, it leaves the object as aligned as
// its block.
constexpr size_t kThrownHeaderSize = sizeof(RefcountedHeaderLayout);
constexpr size_t kDependentExceptionSize = sizeof(DependentExceptionLayout);
