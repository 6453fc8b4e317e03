// Locating the host's Kelo.ini and the plug-in's own settings file beside it.
#include "settings/settings_paths.h"

#include "settings/path_split.h"

#include <shlobj.h>
#include <shlwapi.h>

WideString moduleStem;
WideString hostIniPath;
WideString pluginIniPath;

void InitModulePaths(HINSTANCE instance) {
    moduleStem.Clear();
    wchar_t name[MAX_PATH];
    // Older systems leave a name that fills the buffer unterminated: only the length reported is read.
    const DWORD length = GetModuleFileNameW(instance, name, MAX_PATH);
    if (length != 0) {
        // Running out of memory leaves the stem as it was: empty.
        (void)moduleStem.Assign(SplitPath(std::wstring_view(name, length)).stem);
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
    // Without either part the path would be relative to whatever folder is current: no settings file then.
    if (!moduleStem.empty() && DirectoryOf(hostIniPath, folder) && !folder.empty()) {
        (void)pluginIniPath.AppendAll({folder, L"Plugins\\", moduleStem, L"\\", moduleStem, L".ini"});
    }
}

bool IsExistingFile(const wchar_t* path) {
    return PathFileExistsW(path) && !PathIsDirectoryW(path);
}

bool DirectoryOf(std::wstring_view path, WideString& out) {
    const PathParts parts = SplitPath(path);
    WideString folder;
    if (!folder.AppendAll({parts.drive, parts.folder})) {
        return false;
    }
    out.Swap(folder);
    return true;
}
