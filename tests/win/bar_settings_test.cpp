// The bar's settings across frames, unloads and processes, and what the bar costs in GDI objects: the real
// DLL in the stand-in host, with the settings file where the plug-in looks for it.
#include "host/gdi_count.h"
#include "host/standin_host.h"
#include "bar/host_interface.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

constexpr int kRegExpCheck = 1001;

bool Ticked(StandInHost& host, HWND frame) {
    return SendMessageW(GetDlgItem(host.Toolbar(frame), kRegExpCheck), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Tick(StandInHost& host, HWND frame) {
    (void)SendMessageW(GetDlgItem(host.Toolbar(frame), kRegExpCheck), BM_CLICK, 0, 0);
}

TEST(BarSettings, SettingsFileDecidesShowingAndTicking) {
    struct Row {
        const char* file;  // nullptr: no settings file
        size_t shows;      // show requests (2095) sent at attach
        bool ticked;
    };
    const Row rows[] = {
        {nullptr, 1, false},
        {"ShowBar=0\r\n", 0, false},
        {"UseRegExp=7\r\n", 1, true},
        {"UseRegExp=x\r\n", 1, false},
        {"[Bar]\r\nShowBar=0\r\nUseRegExp=1\r\n", 0, true},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file ? row.file : "no file");
        const std::wstring stem = L"FrBarRead" + std::to_wstring(n++);
        const std::wstring dll = CopyPluginAs(stem);
        if (row.file != nullptr) {
            ASSERT_TRUE(WriteFileBytes(RoamingPluginIni(stem), row.file));
        }
        StandInHost host;
        ASSERT_TRUE(host.LoadPlugin(dll));
        HWND frame = host.OpenFrame(kEventAttach);
        EXPECT_EQ(host.Count(kMsgAddToolbar), 1u) << "the bar is registered either way";
        ASSERT_NE(host.Toolbar(frame), nullptr);
        EXPECT_EQ(host.Count(kMsgShowToolbar), row.shows);
        EXPECT_EQ(host.ToolbarShown(frame), row.shows == 1);
        EXPECT_EQ(Ticked(host, frame), row.ticked);
    }
}

std::string SavedUseRegExp(const std::wstring& stem) {
    const std::string text = ReadFileBytes(RoamingPluginIni(stem));
    const size_t at = text.find("UseRegExp=");
    return at == std::string::npos ? std::string("(missing)") : text.substr(at, 11);
}

TEST(BarSettings, TickSurvivesUnloadAndReachesANewProcess) {
    const std::wstring stem = L"FrBarKeep";
    const std::wstring dll = CopyPluginAs(stem);
    {
        StandInHost host;
        ASSERT_TRUE(host.LoadPlugin(dll));
        HWND frame = host.OpenFrame(kEventAttach);
        ASSERT_FALSE(Ticked(host, frame));
        Tick(host, frame);
        ASSERT_TRUE(Ticked(host, frame));
        host.CloseFrame(frame);
        host.UnloadPlugin();
    }
    EXPECT_EQ(SavedUseRegExp(stem), "UseRegExp=1");

    int exitCode = -2;
    const std::string report = RunStandInHost(dll, L"open report quit", 20000, &exitCode);
    ASSERT_EQ(exitCode, 0);
    EXPECT_NE(report.find("report frame=1 toolbar=1"), std::string::npos) << report;
    EXPECT_NE(report.find("regexp=1"), std::string::npos) << report;
}

TEST(BarSettings, TheFrameDestroyedLastDecides) {
    struct Row {
        bool firstTicked;
        bool closeFirstLast;
        const char* saved;
    };
    const Row rows[] = {{true, true, "UseRegExp=1"},
                        {true, false, "UseRegExp=0"},
                        {false, true, "UseRegExp=0"},
                        {false, false, "UseRegExp=1"}};
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "first ticked " << row.firstTicked << ", first closed last " << row.closeFirstLast);
        const std::wstring stem = L"FrBarFrames" + std::to_wstring(n++);
        const std::wstring dll = CopyPluginAs(stem);
        StandInHost host;
        ASSERT_TRUE(host.LoadPlugin(dll));
        HWND first = host.OpenFrame(kEventAttach);
        HWND second = host.OpenFrame(kEventAttach);
        Tick(host, row.firstTicked ? first : second);
        host.CloseFrame(row.closeFirstLast ? second : first);
        host.CloseFrame(row.closeFirstLast ? first : second);
        host.UnloadPlugin();
        EXPECT_EQ(SavedUseRegExp(stem), row.saved);
    }
}

TEST(BarSettings, CloseEventWithTheBarStillAliveDestroysItFirst) {
    const std::wstring stem = L"FrBarEarlyClose";
    const std::wstring dll = CopyPluginAs(stem);
    StandInHost host;
    ASSERT_TRUE(host.LoadPlugin(dll));
    HWND frame = host.OpenFrame(kEventAttach);
    HWND bar = host.Toolbar(frame);
    Tick(host, frame);
    // Reported closed while its windows live: the bar must not outlive its object.
    host.SendEvents(frame, kEventClose);
    EXPECT_FALSE(IsWindow(bar));
    EXPECT_TRUE(IsWindow(frame));
    host.Pump(50);
    host.CloseFrame(frame);
    host.UnloadPlugin();
    EXPECT_EQ(SavedUseRegExp(stem), "UseRegExp=1");
}

TEST(BarSettings, FramesOpenedAndClosedLeaveNoGdiObjectBehind) {
    StandInHost host;
    ASSERT_TRUE(host.LoadPlugin(CopyPluginAs(L"FrBarGdi")));
    const auto cycle = [&] {
        HWND frame = host.OpenFrame(kEventAttach, L"abc");
        host.Pump(10);
        host.CloseFrame(frame);
    };
    cycle();  // first-use objects: classes, caches
    const int before = CountGdiObjects();
    for (int i = 0; i < 50; ++i) {
        cycle();
    }
    const int after = CountGdiObjects();
    RecordProperty("GdiObjectsBefore", before);
    RecordProperty("GdiObjectsAfter", after);
    EXPECT_EQ(after, before) << "before " << before << ", after " << after;

    // The count is live: objects that are made show up in it.
    HBRUSH brushes[5];
    for (auto& brush : brushes) {
        brush = CreateSolidBrush(RGB(9, 9, 9));
    }
    EXPECT_EQ(CountGdiObjects(), after + 5);
    for (auto& brush : brushes) {
        (void)DeleteObject(brush);
    }
}

}  // namespace
