// Locating the host's Kelo.ini and the plug-in's own settings file beside it.
#include "settings/settings_paths.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdlib>
#include <cwchar>

WideString moduleStem;
WideString hostIniPath;
WideString pluginIniPath;

void InitModulePaths(HINSTANCE instance) {
    moduleStem.Clear();
    // One more than the system may fill, so that the name is terminated whatever the system does.
    wchar_t name[MAX_PATH + 1] = {};
    wchar_t stem[MAX_PATH + 1];
    bool made = true;
    if (GetModuleFileNameW(instance, name, MAX_PATH) != 0 &&
        _wsplitpath_s(name, nullptr, 0, nullptr, 0, stem, MAX_PATH + 1, nullptr, 0) == 0) {
        made = moduleStem.Assign(stem);
    }
    made = LocateHostIni() && made;
    // A path made short of memory would name another file, or one relative to whatever folder is current.
    if (!made || !MakePluginIniPath()) {
        pluginIniPath.Clear();
    }
}

bool LocateHostIni() {
    hostIniPath.Clear();
    wchar_t executable[MAX_PATH + 1] = {};
    wchar_t canonical[MAX_PATH];
    if (GetModuleFileNameW(nullptr, executable, MAX_PATH) == 0 || !PathCanonicalizeW(canonical, executable)) {
        return true;
    }
    WideString folder;
    if (!DirectoryOf(canonical, folder) || !hostIniPath.AppendAll({folder, L"Kelo.ini"})) {
        return false;
    }
    if (IsExistingFile(hostIniPath.c_str())) {
        return true;
    }
    wchar_t roaming[MAX_PATH];
    if (!SHGetSpecialFolderPathW(nullptr, roaming, CSIDL_APPDATA, TRUE)) {
        return true;
    }
    hostIniPath.Clear();
    return hostIniPath.AppendAll({roaming, L"\\Kelo\\Kelo.ini"});
}

bool MakePluginIniPath() {
    pluginIniPath.Clear();
    WideString folder;
    return DirectoryOf(hostIniPath.c_str(), folder) &&
           pluginIniPath.AppendAll({folder, L"Plugins\\", moduleStem, L"\\", moduleStem, L".ini"});
}

bool IsExistingFile(const wchar_t* path) {
    return PathFileExistsW(path) && !PathIsDirectoryW(path);
}

bool DirectoryOf(const wchar_t* path, WideString& out) {
    // The C runtime's splitter decides; its drive and folder are always the start of the path.
    const size_t length = std::wcslen(path);
    Array<wchar_t> folder;
    wchar_t drive[_MAX_DRIVE];
    return folder.Resize(length + 1) &&
           _wsplitpath_s(path, drive, _MAX_DRIVE, folder.data(), length + 1, nullptr, 0, nullptr, 0) == 0 &&
           out.Assign(std::wstring_view(path, std::wcslen(drive) + std::wcslen(folder.data())));
}
