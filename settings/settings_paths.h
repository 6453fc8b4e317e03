// Where the plug-in's settings file lives: beside the host's Kelo.ini, in Plugins\<stem>\<stem>.ini.
#pragma once

#include <windows.h>

#include <string>

extern std::wstring moduleStem;
extern std::wstring hostIniPath;
extern std::wstring pluginIniPath;

// Sets the three strings from the module's file name and the host's settings folder; failures leave them
// empty.
void InitModulePaths(HINSTANCE instance);
void LocateHostIni();
void MakePluginIniPath();

// True when the path exists and is not a directory.
bool IsExistingFile(const wchar_t* path);
// The path's drive and folder, ending with a separator; empty for a bare file name.
std::wstring DirectoryOf(const std::wstring& path);
