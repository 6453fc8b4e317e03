// Writes, as UTF-8 lines, the module stem and the two settings paths that this program would use:
//   settings_paths_probe.exe <output file>
#include "settings/settings_paths.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace {

std::string Utf8(std::wstring_view text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (size > 0) {
        (void)WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                                  nullptr, nullptr);
    }
    return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 2;
    }
    InitModulePaths(nullptr);
    FILE* out = _wfopen(argv[1], L"wb");
    if (out == nullptr) {
        return 3;
    }
    const std::string lines = Utf8(moduleStem) + "\n" + Utf8(hostIniPath) + "\n" + Utf8(pluginIniPath) + "\n";
    (void)fwrite(lines.data(), 1, lines.size(), out);
    (void)fclose(out);
    return 0;
}
