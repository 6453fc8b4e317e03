// Frame events, the command and its check mark, with the real DLL in the stand-in host.
#include "host/standin_host.h"
#include "plugin/host_interface.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

class FrameEvents : public ::testing::Test {
protected:
    void SetUp() override {
        stem = std::wstring(L"FrEvents") +
               FromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(host.LoadPlugin(CopyPluginAs(stem)));
    }

    bool Checked(HWND frame) {
        BOOL checked = 7;
        EXPECT_EQ(host.Exports().queryStatus(frame, &checked), 1);
        EXPECT_TRUE(checked == 0 || checked == 1);
        return checked == 1;
    }

    std::wstring stem;
    StandInHost host;
};

TEST_F(FrameEvents, EventsWithBitOneOrTwoAreIgnoredWhole) {
    HWND frame = host.OpenFrame(0);
    for (UINT events : {0x1u, 0x2u, 0x3u, 0x5u, 0x9u, 0x200001u, 0x20000Eu}) {
        host.SendEvents(frame, events);
    }
    EXPECT_EQ(host.Count(kMsgAddToolbar), 0u);
    // No state was created, so the command has nothing to ask for.
    EXPECT_EQ(host.Exports().onCommand(frame), 0);
    EXPECT_EQ(host.Count(kMsgShowToolbar), 0u);
    EXPECT_FALSE(Checked(frame));
}

TEST_F(FrameEvents, CreateOnlyThenAttach) {
    HWND frame = host.OpenFrame(0);
    host.SendEvents(frame, kEventCreate);
    EXPECT_EQ(host.Count(kMsgAddToolbar), 0u);
    EXPECT_FALSE(Checked(frame));

    // The state exists: the command asks the host to show toolbar -1, which the host does not know.
    host.InvokeCommand(frame);
    host.InvokeCommand(frame);
    ASSERT_EQ(host.Count(kMsgShowToolbar), 2u);
    for (const HostRecord& record : host.records) {
        if (record.message == kMsgShowToolbar) {
            EXPECT_EQ(static_cast<INT_PTR>(record.wParam), -1);
            EXPECT_EQ(record.lParam, 1);
        }
    }

    host.SendEvents(frame, kEventAttach);
    EXPECT_EQ(host.Count(kMsgAddToolbar, frame), 1u);
    EXPECT_NE(host.Toolbar(frame), nullptr);
    EXPECT_EQ(host.ToolbarId(frame), 0);
}

TEST_F(FrameEvents, TwoAttachEventsAttachOnce) {
    HWND frame = host.OpenFrame(kEventAttach);
    host.SendEvents(frame, kEventAttach);
    host.SendEvents(frame, kEventAttach | kEventCreate);
    EXPECT_EQ(host.Count(kMsgAddToolbar, frame), 1u);
    const HostRecord* added = host.Last(kMsgAddToolbar, frame);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->text, std::wstring(L"\u30CC\u30D4"));
    EXPECT_EQ(added->window, host.Toolbar(frame));
    EXPECT_EQ(GetParent(added->window), frame);
#if defined(__i386__)
    // The 32-bit host reads seven 32-bit fields: size 28, the window at offset 8, the title at offset 12.
    ASSERT_EQ(added->bytes.size(), 28u);
    uint32_t fields[7];
    std::memcpy(fields, added->bytes.data(), sizeof(fields));
    EXPECT_EQ(fields[0], 28u);
    EXPECT_EQ(fields[2], static_cast<uint32_t>(reinterpret_cast<uintptr_t>(added->window)));
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(fields[3]))), L"\u30CC\u30D4");
    for (int i : {1, 4, 5, 6}) {
        EXPECT_EQ(fields[i], 0u) << "field " << i;
    }
#endif
}

// The host shows the bar on request and reports it with 0x200000; the check mark follows those reports only.
TEST_F(FrameEvents, CheckMarkFollowsTheHostsReports) {
    HWND frame = host.OpenFrame(kEventAttach);
    ASSERT_EQ(host.Count(kMsgShowToolbar, frame), 1u);
    EXPECT_EQ(host.Last(kMsgShowToolbar, frame)->lParam, 1);
    EXPECT_TRUE(host.ToolbarShown(frame));
    EXPECT_TRUE(Checked(frame));
    EXPECT_TRUE(IsWindowVisible(host.Toolbar(frame)));

    EXPECT_EQ(host.InvokeCommand(frame), 1);
    EXPECT_EQ(host.Last(kMsgShowToolbar, frame)->lParam, 0);
    EXPECT_FALSE(host.ToolbarShown(frame));
    EXPECT_FALSE(Checked(frame));

    host.InvokeCommand(frame);
    EXPECT_EQ(host.Last(kMsgShowToolbar, frame)->lParam, 1);
    EXPECT_TRUE(Checked(frame));
    EXPECT_TRUE(host.CommandChecked(frame));
}

// Without the host's report nothing changes: a hidden bar is asked to show twice.
TEST_F(FrameEvents, CommandTwiceWithoutReportAsksTwice) {
    HWND frame = host.OpenFrame(kEventAttach);
    host.InvokeCommand(frame);  // hide
    ASSERT_FALSE(Checked(frame));
    host.honourShowRequests = false;
    const size_t before = host.Count(kMsgShowToolbar, frame);
    host.InvokeCommand(frame);
    host.InvokeCommand(frame);
    ASSERT_EQ(host.Count(kMsgShowToolbar, frame), before + 2);
    const HostRecord& last = host.records.back();
    const HostRecord& previous = host.records[host.records.size() - 2];
    EXPECT_EQ(last.lParam, 1);
    EXPECT_EQ(previous.lParam, 1);
    EXPECT_EQ(static_cast<INT_PTR>(last.wParam), host.ToolbarId(frame));
}

TEST_F(FrameEvents, ShownEventShowsTheBarWindow) {
    HWND frame = host.OpenFrame(kEventAttach);
    host.InvokeCommand(frame);  // the host hides the bar and reports it
    HWND bar = host.Toolbar(frame);
    ASSERT_FALSE(IsWindowVisible(bar));
    host.SendEvents(frame, kEventToolbarShown);  // a report from elsewhere: the plug-in shows its window
    EXPECT_TRUE(Checked(frame));
    EXPECT_TRUE(IsWindowVisible(bar));
}

TEST_F(FrameEvents, CloseRemovesTheState) {
    HWND frame = host.OpenFrame(kEventAttach);
    ASSERT_TRUE(Checked(frame));
    host.CloseFrame(frame);
    EXPECT_FALSE(Checked(frame));
    const size_t shows = host.Count(kMsgShowToolbar);
    EXPECT_EQ(host.Exports().onCommand(frame), 0);
    EXPECT_EQ(host.Count(kMsgShowToolbar), shows);
}

// The same handle value after a close starts over with a new state.
TEST_F(FrameEvents, AttachAndCloseInOneCall) {
    HWND frame = host.OpenFrame(0);
    host.SendEvents(frame, kEventAttach | kEventClose);
    EXPECT_EQ(host.Count(kMsgAddToolbar, frame), 1u);
    EXPECT_FALSE(Checked(frame));
    EXPECT_FALSE(IsWindow(host.Toolbar(frame)));  // destroyed with its state, not left behind
    host.SendEvents(frame, kEventAttach);
    EXPECT_EQ(host.Count(kMsgAddToolbar, frame), 2u);
}

// 0x8 with 0x200000 stores ShowBar as it was before the flip.
TEST_F(FrameEvents, CloseWithShownReportSavesTheValueBeforeTheFlip) {
    struct Row {
        bool shownBefore;
        const char* saved;
    };
    for (const Row& row : {Row{true, "ShowBar=1"}, Row{false, "ShowBar=0"}}) {
        SCOPED_TRACE(row.saved);
        ASSERT_TRUE(host.LoadPlugin(CopyPluginAs(stem)));
        HWND frame = host.OpenFrame(kEventAttach);
        if (!row.shownBefore) {
            host.InvokeCommand(frame);
        }
        ASSERT_EQ(Checked(frame), row.shownBefore);
        (void)DestroyWindow(frame);
        host.SendEvents(frame, kEventClose | kEventToolbarShown);
        EXPECT_FALSE(Checked(frame));
        host.UnloadPlugin();
        const std::string saved = ReadFileBytes(RoamingPluginIni(stem));
        EXPECT_NE(saved.find(std::string(row.saved) + "\r\n"), std::string::npos) << saved;
    }
}

}  // namespace
