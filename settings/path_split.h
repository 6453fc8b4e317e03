// Splits a Windows path the way the C runtime's path splitter does. No Windows header.
#pragma once

#include <string>
#include <string_view>

struct PathParts {
    std::wstring drive;      // "C:", or empty
    std::wstring folder;     // up to and including the last separator, or empty
    std::wstring stem;       // the file name up to its last dot
    std::wstring extension;  // the last dot and what follows, or empty
};

// Separators are '\\' and '/'; the drive is a first character followed by ':'.
PathParts SplitPath(std::wstring_view path);
