// Module-wide objects and the module's start and stop routines.
#pragma once

#include <windows.h>

// Run from the process attach and detach notifications. A stop at process exit touches no window; one while
// the process goes on lets the open bars' windows go, as they outlive this module's code.
void ModuleStart(HINSTANCE instance);
void ModuleStop(bool processEnding);
