// Where the settings files are: beside the executable when Kelo.ini lies there, else in the roaming folder.
#include "settings/settings_paths.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ProbeResult {
    std::wstring stem;
    std::wstring hostIni;
    std::wstring pluginIni;
};

// Copies the probe into `dir` under `name` and runs it there, so that it looks for Kelo.ini beside itself.
ProbeResult RunProbe(const std::wstring& dir, const std::wstring& name) {
    ProbeResult result;
    const std::wstring exe = dir + name;
    if (!CopyFileW((BinDir() + L"settings_paths_probe.exe").c_str(), exe.c_str(), FALSE)) {
        ADD_FAILURE() << "cannot copy the probe";
        return result;
    }
    const std::wstring out = dir + L"probe-output.txt";
    EXPECT_EQ(RunProcess(L"\"" + exe + L"\" \"" + out + L"\"", 30000), 0);
    const std::wstring lines = FromUtf8(ReadFileBytes(out));
    const size_t first = lines.find(L'\n');
    const size_t second = lines.find(L'\n', first + 1);
    if (first == std::wstring::npos || second == std::wstring::npos) {
        ADD_FAILURE() << "probe wrote no paths";
        return result;
    }
    result.stem = lines.substr(0, first);
    result.hostIni = lines.substr(first + 1, second - first - 1);
    result.pluginIni = lines.substr(second + 1, lines.find(L'\n', second + 1) - second - 1);
    return result;
}

std::wstring RoamingKeloFolder() {
    wchar_t appData[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH);
    return std::wstring(appData, length) + L"\\Kelo\\";
}

TEST(SettingsPaths, KeloIniBesideTheExecutable) {
    const std::wstring dir = MakeTempDir(L"paths-beside");
    ASSERT_TRUE(WriteFileBytes(dir + L"Kelo.ini", ""));
    const ProbeResult probe = RunProbe(dir, L"probe.exe");
    EXPECT_EQ(probe.stem, L"probe");
    EXPECT_EQ(probe.hostIni, dir + L"Kelo.ini");
    EXPECT_EQ(probe.pluginIni, dir + L"Plugins\\probe\\probe.ini");
}

TEST(SettingsPaths, RoamingFolderWhenNoKeloIniFileIsBeside) {
    const std::wstring none = MakeTempDir(L"paths-none");
    const ProbeResult missing = RunProbe(none, L"probe.exe");
    EXPECT_EQ(missing.hostIni, RoamingKeloFolder() + L"Kelo.ini");
    EXPECT_EQ(missing.pluginIni, RoamingKeloFolder() + L"Plugins\\probe\\probe.ini");

    const std::wstring folder = MakeTempDir(L"paths-folder");
    ASSERT_TRUE(CreateDirectoryW((folder + L"Kelo.ini").c_str(), nullptr));
    const ProbeResult directory = RunProbe(folder, L"probe.exe");
    EXPECT_EQ(directory.hostIni, RoamingKeloFolder() + L"Kelo.ini");
    EXPECT_EQ(directory.pluginIni, RoamingKeloFolder() + L"Plugins\\probe\\probe.ini");
}

// The module's own name, not the executable's, names the plug-in's folder and file.
TEST(SettingsPaths, StemComesFromTheModule) {
    const std::wstring dll = CopyPluginAs(L"a.b.c");
    ASSERT_FALSE(dll.empty());
    HMODULE module = LoadLibraryExW(dll.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module, nullptr);
    InitModulePaths(module);
    FreeLibrary(module);
    EXPECT_EQ(std::wstring(moduleStem.view()), L"a.b.c");
    EXPECT_EQ(std::wstring(hostIniPath.view()), RoamingKeloFolder() + L"Kelo.ini");
    EXPECT_EQ(std::wstring(pluginIniPath.view()), RoamingKeloFolder() + L"Plugins\\a.b.c\\a.b.c.ini");
}

TEST(SettingsPaths, DirectoryOfAndIsExistingFile) {
    const std::pair<const wchar_t*, const wchar_t*> directories[] = {
        {L"C:\\Kelo\\Kelo.ini", L"C:\\Kelo\\"},
        {L"C:Kelo.ini", L"C:"},
        {L"Kelo.ini", L""},
        {L"relative\\x.ini", L"relative\\"},
        {L"\\\\server\\share\\x.ini", L"\\\\server\\share\\"},
        {L"C:\\Kelo\\Plugins\\", L"C:\\Kelo\\Plugins\\"},
        {L"D:/Kelo/x.y.ini", L"D:/Kelo/"},
    };
    for (const auto& [path, folder] : directories) {
        WideString directory;
        EXPECT_TRUE(DirectoryOf(path, directory)) << ToUtf8(path);
        EXPECT_EQ(std::wstring(directory.view()), folder) << ToUtf8(path);
    }
    const std::wstring dir = MakeTempDir(L"paths-exist");
    ASSERT_TRUE(WriteFileBytes(dir + L"file.ini", "x"));
    EXPECT_TRUE(IsExistingFile((dir + L"file.ini").c_str()));
    EXPECT_FALSE(IsExistingFile(dir.c_str()));
    EXPECT_FALSE(IsExistingFile((dir + L"missing.ini").c_str()));
}

}  // namespace
