// The platform's own heap checking, for the stand-in host and the Windows tests: the heap manager pads and
// fills blocks when a program's GlobalFlag (Image File Execution Options in the registry) asks for it, and
// HeapValidate then finds an overrun or a write into a freed block. Nothing fails by itself: it must be
// asked.
#pragma once

#include <windows.h>

// Tail checking (0x10), free checking (0x20) and parameter checking (0x40).
constexpr DWORD kHeapCheckingFlags = 0x70;

// The global flags the loader applied to this process (RtlGetNtGlobalFlags); 0 when ntdll does not say.
DWORD ProcessGlobalFlags();

// Whether every flag of kHeapCheckingFlags is in force in this process.
bool HeapCheckingOn();

// Makes every free and reallocation through msvcrt (malloc, operator new and the C++ library of each module)
// validate its block first; a damaged block is counted and kept, not freed. The heap manager here frees a
// block whose tail was overrun without a word, and a whole-heap validation does not look inside the blocks
// that it serves from its per-size bins. Call once, before other threads start; false when msvcrt's imports
// could not be rerouted.
bool GuardHeapFrees();

struct HeapDamage {
    int heaps = 0;         // heaps of the process
    int invalidHeaps = 0;  // of those, the ones that do not validate now
    int damagedFrees = 0;  // blocks found damaged when freed or reallocated, since GuardHeapFrees
    explicit operator bool() const { return invalidHeaps != 0 || damagedFrees != 0; }
};

// Validates every heap of the process (msvcrt's malloc has a heap of its own) and adds what the guarded frees
// found.
HeapDamage CheckHeaps();
