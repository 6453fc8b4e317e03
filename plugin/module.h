// Module-wide objects and the module's start and stop routines.
#pragma once

#include <windows.h>

class IniDocument;

// The one settings store, alive from module load to unload.
IniDocument& SettingsStore();

// Run from the process attach and detach notifications.
void ModuleStart(HINSTANCE instance);
void ModuleStop();
