// Faults for the plug-in alone, through its import slots, so that its bytes stay those that ship: msvcrt's
// allocating functions refused by their count, WriteFile failing as on a full disk, the file calls of
// Failure refused, and the process ended at a given file call. The host and the system keep the real
// functions.
#pragma once

#include <windows.h>

#include <string>

// LoadLibraryW with msvcrt's export entries for malloc, calloc, realloc, _strdup and _wcsdup pointing at
// counting hooks while the loader binds the plug-in, so that the allocations of its C runtime's start-up are
// counted too (the DLLs it imports are loaded first, with the real entries); then the plug-in's WriteFile
// slot is pointed at the disk hook, and its other file functions at theirs. Restarts the
// allocation count. Null when LoadLibraryW fails.
// *startCounted is false when the loader did not bind the plug-in to the hooks and its slots were pointed at
// them after the load.
HMODULE LoadWithFaults(const std::wstring& path, bool* startCounted);

// Refuses the plug-in's k-th allocation since its last load (k from 1), and with `andLater` every later one;
// a refused call returns null with errno ENOMEM. k = 0 refuses nothing.
void RefuseAllocations(LONG k, bool andLater);

// The allocations that the plug-in asked for since its last load, refused ones included.
LONG PluginAllocations();

// Lets the plug-in's file writes through for `bytes` more bytes: the write that does not fit writes what is
// left and fails with ERROR_DISK_FULL. A negative budget lifts the limit.
void LimitDiskWrites(long long bytes);

// Calls of the plug-in's that can be made to fail: creating a file that does not exist (CreateFileW fails
// with ERROR_ACCESS_DENIED, as in a folder whose access list forbids new files) and ReadFile
// (ERROR_IO_DEVICE).
enum Failure { kNewFiles, kRead, kFailures };
void SetFailure(Failure which, bool on);

// The exit code of a process ended by KillAtFileCall.
constexpr UINT kKilledExitCode = 57;
// Restarts the count of the plug-in's file calls; the k-th from now ends the process at once, as a crash or
// the task manager would (k = 0: none).
void KillAtFileCall(LONG k);
// The plug-in's file calls counted since the last KillAtFileCall.
LONG PluginFileCalls();
