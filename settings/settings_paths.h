// Where the plug-in's settings file lives: beside the host's Kelo.ini, in Plugins\<stem>\<stem>.ini.
#pragma once

#include <windows.h>

#include "base/wide_string.h"

#include <string_view>

extern WideString moduleStem;
extern WideString hostIniPath;
extern WideString pluginIniPath;

// Sets the three strings from the module's file name and the host's settings folder; a failed system call
// leaves its part empty. When memory runs out, the plug-in path stays empty: the session has no settings file.
void InitModulePaths(HINSTANCE instance);
// Each false only when memory runs out.
bool LocateHostIni();
bool MakePluginIniPath();

// True when the path exists and is not a directory.
bool IsExistingFile(const wchar_t* path);
// Replaces `out` with the path's drive and folder, ending with a separator; empty for a bare file name.
// False, with `out` untouched, when memory runs out.
bool DirectoryOf(const wchar_t* path, WideString& out);
