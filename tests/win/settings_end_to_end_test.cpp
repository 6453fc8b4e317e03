// The settings file through the real DLL: loaded at start, written at stop, read again by a new process.
#include "host/standin_host.h"
#include "bar/host_interface.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring GoldenFile(const std::wstring& name) {
    return std::wstring(FINDRAIL_SETTINGS_DATA) + L"/ini/" + name;
}

// A Shift_JIS file with CR LF, comments and two sections. The plug-in's keys go to the section of the last
// entry, [検索], which has no ShowBar yet: the bar starts shown, the command hides it, and closing the frame
// writes ShowBar=0 after the existing entries. The file comes back as UTF-8 without a mark.
TEST(SettingsEndToEnd, ShiftJisFileIsRewrittenAsUtf8AndReadBack) {
    const std::wstring stem = L"SettingsEndToEnd";
    const std::wstring dll = CopyPluginAs(stem);
    ASSERT_FALSE(dll.empty());
    const std::wstring ini = RoamingPluginIni(stem);
    ASSERT_TRUE(WriteFileBytes(ini, ReadFileBytes(GoldenFile(L"japanese-shift-jis.ini"))));
    const std::string expected = ReadFileBytes(GoldenFile(L"japanese-shift-jis.expected.ini"));
    ASSERT_FALSE(expected.empty());

    {
        StandInHost host;
        ASSERT_TRUE(host.LoadPlugin(dll));
        HWND frame = host.OpenFrame(kEventAttach);
        ASSERT_NE(frame, nullptr);
        const HostRecord* shown = host.Last(kMsgShowToolbar, frame);
        ASSERT_NE(shown, nullptr) << "ShowBar is missing from the current section: the default shows the bar";
        EXPECT_EQ(shown->lParam, 1);
        host.InvokeCommand(frame);
        EXPECT_FALSE(host.CommandChecked(frame));
        host.CloseFrame(frame);
        // Nothing reaches the disk before the module stops.
        EXPECT_NE(ReadFileBytes(ini), expected);
        host.UnloadPlugin();
    }
    EXPECT_EQ(ReadFileBytes(ini), expected);

    // A new host process: the bar is registered but, with ShowBar=0, never asked to be shown.
    int exitCode = -2;
    const std::string lines = RunStandInHost(dll, L"open wait:100 close quit", 30000, &exitCode);
    ASSERT_EQ(exitCode, 0);
    EXPECT_NE(lines.find("2093 frame=1"), std::string::npos) << lines;
    EXPECT_EQ(lines.find("2095 "), std::string::npos) << lines;
    // That run closed a frame too, so it rewrote the file with the same content.
    EXPECT_EQ(ReadFileBytes(ini), expected);
}

}  // namespace
