#include "settings/path_split.h"

PathParts SplitPath(std::wstring_view path) {
    PathParts parts;
    if (path.size() >= 2 && path[1] == L':') {
        parts.drive = std::wstring_view(path.data(), 2);
        path.remove_prefix(2);
    }
    const size_t separator = path.find_last_of(L"\\/");
    if (separator != std::wstring_view::npos) {
        parts.folder = std::wstring_view(path.data(), separator + 1);
        path.remove_prefix(separator + 1);
    }
    const size_t dot = path.rfind(L'.');
    if (dot != std::wstring_view::npos) {
        parts.extension = std::wstring_view(path.data() + dot, path.size() - dot);
        path.remove_suffix(path.size() - dot);
    }
    parts.stem = path;
    return parts;
}
