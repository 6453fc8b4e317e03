// Locating the host's Kelo.ini and the plug-in's own settings file beside it.
#include "settings/settings_paths.h"

#include "settings/path_split.h"

#include <shlobj.h>
#include <shlwapi.h>

std::wstring moduleStem;
std::wstring hostIniPath;
std::wstring pluginIniPath;

void InitModulePaths(HINSTANCE instance) {
    wchar_t name[MAX_PATH];
    // Older systems leave a name that fills the buffer unterminated: only the length reported is read.
    const DWORD length = GetModuleFileNameW(instance, name, MAX_PATH);
    if (length != 0) {
        moduleStem = SplitPath(std::wstring_view(name, length)).stem;
    }
    LocateHostIni();
    MakePluginIniPath();
}

void LocateHostIni() {
    // One more than the system may fill, so that the path is terminated whatever the system does.
    wchar_t executable[MAX_PATH + 1] = {};
    if (GetModuleFileNameW(nullptr, executable, MAX_PATH) == 0) {
        return;
    }
    wchar_t canonical[MAX_PATH];
    if (!PathCanonicalizeW(canonical, executable)) {
        return;
    }
    hostIniPath = DirectoryOf(canonical) + L"Kelo.ini";
    if (IsExistingFile(hostIniPath.c_str())) {
        return;
    }
    wchar_t roaming[MAX_PATH];
    if (SHGetSpecialFolderPathW(nullptr, roaming, CSIDL_APPDATA, TRUE)) {
        hostIniPath = std::wstring(roaming) + L"\\Kelo\\Kelo.ini";
    }
}

void MakePluginIniPath() {
    pluginIniPath = DirectoryOf(hostIniPath) + L"Plugins\\" + moduleStem + L"\\" + moduleStem + L".ini";
}

bool IsExistingFile(const wchar_t* path) {
    return PathFileExistsW(path) && !PathIsDirectoryW(path);
}

std::wstring DirectoryOf(const std::wstring& path) {
    PathParts parts = SplitPath(path);
    return parts.drive + parts.folder;
}
