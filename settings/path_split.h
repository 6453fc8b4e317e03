// Splits a Windows path the way the C runtime's path splitter does. No Windows header.
#pragma once

#include <string_view>

// Views into the path that was split: valid as long as its characters are.
struct PathParts {
    std::wstring_view drive;      // "C:", or empty
    std::wstring_view folder;     // up to and including the last separator, or empty
    std::wstring_view stem;       // the file name up to its last dot
    std::wstring_view extension;  // the last dot and what follows, or empty
};

// Separators are '\\' and '/'; the drive is a first character followed by ':'.
PathParts SplitPath(std::wstring_view path);
