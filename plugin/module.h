// Module-wide objects and the module's start and stop routines.
#pragma once

#include <windows.h>

// Run from the process attach and detach notifications.
void ModuleStart(HINSTANCE instance);
void ModuleStop();
