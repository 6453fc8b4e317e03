// Locating the host's Kelo.ini and the plug-in's own settings file beside it.
#include "settings/settings_paths.h"

#include <shlobj.h>
#include <shlwapi.h>

WideString moduleStem;
WideString hostIniPath;
WideString pluginIniPath;

void InitModulePaths(HINSTANCE instance) {
    moduleStem.Clear();
    // One more than the system may fill, so that the name is terminated whatever the system does.
    wchar_t name[MAX_PATH + 1] = {};
    if (GetModuleFileNameW(instance, name, MAX_PATH) != 0) {
        const wchar_t* file = PathFindFileNameW(name);
        // Running out of memory leaves the stem as it was: empty.
        (void)moduleStem.Assign(
            std::wstring_view(file, static_cast<size_t>(PathFindExtensionW(file) - file)));
    }
    LocateHostIni();
    MakePluginIniPath();
}

void LocateHostIni() {
    hostIniPath.Clear();
    // One more than the system may fill, so that the path is terminated whatever the system does.
    wchar_t executable[MAX_PATH + 1] = {};
    if (GetModuleFileNameW(nullptr, executable, MAX_PATH) == 0) {
        return;
    }
    wchar_t canonical[MAX_PATH];
    if (!PathCanonicalizeW(canonical, executable)) {
        return;
    }
    WideString folder;
    if (!DirectoryOf(canonical, folder)) {
        return;
    }
    // Running out of memory leaves the path empty.
    if (!hostIniPath.AppendAll({folder, L"Kelo.ini"}) || IsExistingFile(hostIniPath.c_str())) {
        return;
    }
    wchar_t roaming[MAX_PATH];
    if (SHGetSpecialFolderPathW(nullptr, roaming, CSIDL_APPDATA, TRUE)) {
        hostIniPath.Clear();
        (void)hostIniPath.AppendAll({roaming, L"\\Kelo\\Kelo.ini"});
    }
}

void MakePluginIniPath() {
    pluginIniPath.Clear();
    WideString folder;
    if (DirectoryOf(hostIniPath.c_str(), folder)) {
        (void)pluginIniPath.AppendAll({folder, L"Plugins\\", moduleStem, L"\\", moduleStem, L".ini"});
    }
}

bool IsExistingFile(const wchar_t* path) {
    return PathFileExistsW(path) && !PathIsDirectoryW(path);
}

bool DirectoryOf(const wchar_t* path, WideString& out) {
    return out.Assign(std::wstring_view(path, static_cast<size_t>(PathFindFileNameW(path) - path)));
}
