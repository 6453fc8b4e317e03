// Module-wide objects and the module's start and stop routines.
#pragma once

#include <windows.h>

// Run from the process attach and detach notifications. At a stop while the process goes on, the bars of the
// frames still open are made inert, since their windows outlive this module; at process exit nothing is
// touched.
void ModuleStart(HINSTANCE instance);
void ModuleStop(bool processEnding);
