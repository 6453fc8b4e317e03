// Path splitting as the C runtime's splitter does it.
#include "settings/path_split.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct SplitCase {
    const wchar_t* path;
    const wchar_t* drive;
    const wchar_t* folder;
    const wchar_t* stem;
    const wchar_t* extension;
};

TEST(SplitPath, SplitsDriveFolderStemAndExtension) {
    const SplitCase cases[] = {
        {L"C:\\Program Files\\Kelo\\Plugins\\FindRail.dll", L"C:", L"\\Program Files\\Kelo\\Plugins\\",
         L"FindRail", L".dll"},
        {L"C:\\x\\my.plugin.v2.dll", L"C:", L"\\x\\", L"my.plugin.v2", L".dll"},
        {L"FindRail.ini", L"", L"", L"FindRail", L".ini"},
        {L"noext", L"", L"", L"noext", L""},
        {L"C:file.txt", L"C:", L"", L"file", L".txt"},
        {L"\\\\server\\share\\a.b", L"", L"\\\\server\\share\\", L"a", L".b"},
        {L"d:/mixed\\seps/x", L"d:", L"/mixed\\seps/", L"x", L""},
        {L"C:\\dir.with.dots\\file", L"C:", L"\\dir.with.dots\\", L"file", L""},
        {L"C:\\folder\\", L"C:", L"\\folder\\", L"", L""},
        {L".ini", L"", L"", L"", L".ini"},
        {L"", L"", L"", L"", L""},
    };
    for (const SplitCase& c : cases) {
        const PathParts parts = SplitPath(c.path);
        const std::string where = testing::PrintToString(std::wstring(c.path));
        EXPECT_EQ(std::wstring(parts.drive), c.drive) << where;
        EXPECT_EQ(std::wstring(parts.folder), c.folder) << where;
        EXPECT_EQ(std::wstring(parts.stem), c.stem) << where;
        EXPECT_EQ(std::wstring(parts.extension), c.extension) << where;
    }
}

}  // namespace
