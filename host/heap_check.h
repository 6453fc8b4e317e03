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

// Validates every heap of the process (msvcrt's malloc has a heap of its own); the number that do not
// validate, 0 when all are sound. Stores the number of heaps in *total when total is not null.
int CountInvalidHeaps(int* total = nullptr);
