// Temporary bodies until the settings engine lands.
#include "settings/ini_document.h"
#include "settings/settings_paths.h"

std::wstring moduleStem;
std::wstring hostIniPath;
std::wstring pluginIniPath;

void InitModulePaths(HINSTANCE) {}

bool OrdinalLess::operator()(const std::wstring& a, const std::wstring& b) const noexcept {
    return a < b;
}

IniDocument::IniDocument() : lock(MakeMutex()) {}
IniDocument::~IniDocument() = default;

bool IniDocument::GetInt(const std::wstring&, const std::wstring&, int32_t*) {
    return false;
}

IniEntry* IniDocument::SetValue(const std::wstring& section, const std::wstring& key, const void*, int32_t) {
    static IniEntry scratch;
    modified = true;
    currentSection = section;
    scratch.name = key;
    return &scratch;
}

void IniDocument::Load(const std::wstring& file) {
    path = file;
}

void IniDocument::Save(const std::wstring&, int32_t) {
    modified = false;
}
