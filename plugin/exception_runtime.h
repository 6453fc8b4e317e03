// The C++ runtime's exception machinery as this module needs it in a host's process: a thrown exception and
// a thread's exception state come from static storage when the heap refuses them, and this module's own
// unwinder always knows this module's unwind tables.
#pragma once

#include <windows.h>

// Process attach, before anything may throw: makes sure that this module's own unwinder finds its unwind
// tables even when a shared GCC runtime loaded before took them.
void ExceptionRuntimeAttach(HINSTANCE instance) noexcept;
// Thread detach: gives the ending thread's exception state back.
void ExceptionRuntimeThreadDetach() noexcept;
// Process detach, after the last throw: undoes what ExceptionRuntimeAttach registered.
void ExceptionRuntimeDetach() noexcept;
