// The bar classes linked in directly, on a frame window of the test's own: attaching, painting, layout, the
// failure paths that need an allocation to fail, and what the bar owns.
#include "bar/tool_bar.h"
#include "bar_alloc_fault.h"
#include "host/gdi_count.h"
#include "bar/bar_state.h"
#include "bar/host_interface.h"
#include "settings/ini_document.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

constexpr int kSearchEdit = 40002;
constexpr int kRegExpCheck = 1001;

struct FrameMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<FrameMessage> frameLog;
LRESULT toolbarAnswer = 3;
BarRegistration lastRegistration{};
std::wstring lastTitle;

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kMsgAddToolbar:
            // The record lives only during this call.
            lastRegistration = *reinterpret_cast<const BarRegistration*>(lParam);
            lastTitle = lastRegistration.title != nullptr ? lastRegistration.title : L"(null)";
            frameLog.push_back({message, wParam, lParam});
            return toolbarAnswer;
        case kMsgShowToolbar:
        case kMsgFind:
            frameLog.push_back({message, wParam, lParam});
            return 0;
        case WM_ACTIVATE:
            frameLog.push_back({message, wParam, lParam});
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

RECT ChildRect(HWND parent, HWND child) {
    RECT rect{};
    (void)GetWindowRect(child, &rect);
    (void)MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

class ToolBarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        plugin = LoadLibraryW(CopyPluginAs(L"FrToolBar").c_str());
        ASSERT_NE(plugin, nullptr);
        StartWindowSupport(plugin);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &FrameProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"FrTestFrame";
        (void)RegisterClassExW(&wc);
        frame = CreateWindowExW(0, L"FrTestFrame", L"frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 200,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(frame, nullptr);
        frameLog.clear();
        // The frame's log allocates nothing while an attach runs: the allocations counted are the bar's.
        frameLog.reserve(64);
        toolbarAnswer = 3;
    }
    void TearDown() override {
        FailAllocation(0);
        (void)DestroyWindow(frame);
        states.clear();
        StopWindowSupport();
    }

    BarState& NewState() {
        states.push_back(std::make_unique<BarState>(&settings));
        return *states.back();
    }

    std::vector<UINT> LoggedMessages() const {
        std::vector<UINT> result;
        for (const auto& entry : frameLog) {
            result.push_back(entry.message);
        }
        return result;
    }

    HMODULE plugin = nullptr;
    HWND frame = nullptr;
    IniDocument settings;
    std::vector<std::unique_ptr<BarState>> states;
};

TEST_F(ToolBarTest, AttachRegistersShowsAndActivatesInThatOrder) {
    BarState& state = NewState();
    AttachBar(state, frame);
    ASSERT_NE(state.bar.hwnd, nullptr);
    EXPECT_EQ(GetParent(state.bar.hwnd), frame);
    EXPECT_EQ(GetDlgCtrlID(state.bar.hwnd), 107);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(state.bar.hwnd, GWL_STYLE)) & 0x56000000u, 0x56000000u);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(state.bar.hwnd, GWL_EXSTYLE)) & WS_EX_TOOLWINDOW, 0u);
    EXPECT_EQ(state.toolbarId, 3);
    ASSERT_EQ(LoggedMessages(), (std::vector<UINT>{kMsgAddToolbar, kMsgShowToolbar, WM_ACTIVATE}));
    EXPECT_EQ(frameLog[0].wParam, 0u);
    EXPECT_EQ(lastRegistration.size, sizeof(BarRegistration));
    EXPECT_EQ(lastRegistration.window, state.bar.hwnd);
    EXPECT_EQ(lastTitle, L"\u30CC\u30D4");
    EXPECT_EQ(lastRegistration.reserved0 | lastRegistration.reserved1 | lastRegistration.reserved2 |
                  lastRegistration.reserved3,
              0u);
    EXPECT_EQ(frameLog[1].wParam, 3u);
    EXPECT_EQ(frameLog[1].lParam, 1);
    EXPECT_EQ(frameLog[2].wParam, static_cast<WPARAM>(WA_ACTIVE));
    EXPECT_EQ(reinterpret_cast<HWND>(frameLog[2].lParam), state.bar.hwnd);

    // The container's class as registered: "ATL:" and the start procedure in hex as wide as a pointer.
    wchar_t className[64] = {};
    ASSERT_EQ(GetClassNameW(state.bar.hwnd, className, 64), static_cast<int>(4 + 2 * sizeof(void*)));
    EXPECT_EQ(std::wstring(className, 4), L"ATL:");
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    ASSERT_EQ(static_cast<ATOM>(GetClassInfoExW(plugin, className, &info)),
              static_cast<ATOM>(GetClassLongPtrW(state.bar.hwnd, GCW_ATOM)));
    EXPECT_EQ(info.style, 0x000Bu) << "CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS";
    EXPECT_EQ(info.cbClsExtra, 0);
    EXPECT_EQ(info.cbWndExtra, 0);
    EXPECT_EQ(info.hIcon, nullptr);
    EXPECT_EQ(info.hIconSm, nullptr);
    EXPECT_EQ(info.hCursor, LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_EQ(info.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)));
    EXPECT_EQ(info.lpszMenuName, nullptr);

    // The controls came out of the template into the container, with the bar's own font.
    HWND edit = GetDlgItem(state.bar.hwnd, kSearchEdit);
    HWND check = GetDlgItem(state.bar.hwnd, kRegExpCheck);
    ASSERT_NE(edit, nullptr);
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 255);
    EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT)) << "the dialog's own font died with it";
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(check, WM_GETFONT, 0, 0)), font);
    LOGFONTW logFont{};
    ASSERT_EQ(GetObjectW(font, sizeof(logFont), &logFont), static_cast<int>(sizeof(logFont)));
    EXPECT_STREQ(logFont.lfFaceName, L"MS UI Gothic");
}

TEST_F(ToolBarTest, WithoutAContainerNothingIsRegisteredAndTheNextAttachTriesAgain) {
    struct Row {
        const char* what;
        int failAllocation;  // 1: the transient dialog's binding; 2: the container's
    };
    for (const Row& row : {Row{"no dialog", 1}, Row{"no container", 2}}) {
        SCOPED_TRACE(row.what);
        frameLog.clear();
        BarState& state = NewState();
        // The attach reads its two settings first; their lookups may allocate too.
        const int before = Allocations();
        int32_t value = 0;
        (void)settings.GetInt(settings.currentSection, L"ShowBar", &value);
        (void)settings.GetInt(settings.currentSection, L"UseRegExp", &value);
        FailAllocation(Allocations() - before + row.failAllocation);
        AttachBar(state, frame);
        EXPECT_EQ(state.bar.hwnd, nullptr);
        EXPECT_EQ(state.toolbarId, -1);
        EXPECT_TRUE(frameLog.empty()) << "no null window is offered to the host";
        // Neither the dialog nor its controls were left behind, on the frame or on the desktop.
        EXPECT_EQ(FindWindowExW(frame, nullptr, nullptr, nullptr), nullptr);
        EXPECT_EQ(FindWindowExW(nullptr, nullptr, L"EDIT", nullptr), nullptr);

        AttachBar(state, frame);
        EXPECT_NE(state.bar.hwnd, nullptr);
        EXPECT_EQ(state.toolbarId, 3);
        EXPECT_EQ(LoggedMessages(), (std::vector<UINT>{kMsgAddToolbar, kMsgShowToolbar, WM_ACTIVATE}));
        (void)DestroyWindow(state.bar.hwnd);
    }
}

TEST_F(ToolBarTest, RefusedBarIsOfferedAgainWithTheSameWindow) {
    BarState& state = NewState();
    toolbarAnswer = -1;
    AttachBar(state, frame);
    EXPECT_EQ(state.toolbarId, -1);
    HWND first = state.bar.hwnd;
    ASSERT_NE(first, nullptr);
    toolbarAnswer = 5;
    AttachBar(state, frame);
    EXPECT_EQ(state.toolbarId, 5);
    EXPECT_EQ(state.bar.hwnd, first);
    EXPECT_EQ(FindWindowExW(frame, first, nullptr, nullptr), nullptr) << "one container only";
    EXPECT_EQ(lastRegistration.window, first);
    size_t registrations = 0;
    for (const auto& entry : frameLog) {
        registrations += entry.message == kMsgAddToolbar ? 1 : 0;
    }
    EXPECT_EQ(registrations, 2u);
}

TEST_F(ToolBarTest, UnboundSearchFieldLeavesAPlainBar) {
    // Measure what a whole attach allocates; the last of it is the search field's binding.
    AttachBar(NewState(), frame);
    BarState& measured = NewState();
    const int before = Allocations();
    AttachBar(measured, frame);
    const int perAttach = Allocations() - before;
    ASSERT_GE(perAttach, 3);

    BarState& state = NewState();
    FailAllocation(perAttach);
    AttachBar(state, frame);
    HWND bar = state.bar.hwnd;
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(state.toolbarId, 3) << "the bar is registered all the same";
    HWND edit = GetDlgItem(bar, kSearchEdit);
    HWND check = GetDlgItem(bar, kRegExpCheck);
    const RECT editBefore = ChildRect(bar, edit);
    const RECT checkBefore = ChildRect(bar, check);
    EXPECT_EQ(SendMessageW(bar, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 40)), 0);
    const RECT editAfter = ChildRect(bar, edit);
    const RECT checkAfter = ChildRect(bar, check);
    EXPECT_TRUE(EqualRect(&editBefore, &editAfter));
    EXPECT_TRUE(EqualRect(&checkBefore, &checkAfter));

    ASSERT_TRUE(SetWindowTextW(edit, L"abc"));
    MSG enter{edit, WM_KEYDOWN, VK_RETURN, 1, 0, {}};
    EXPECT_FALSE(state.bar.PreTranslate(&enter));
    for (const auto& entry : frameLog) {
        EXPECT_NE(entry.message, kMsgFind);
    }
}

TEST_F(ToolBarTest, EraseFillsTheClientAreaInTheMenuColour) {
    BarState& state = NewState();
    AttachBar(state, frame);
    HWND bar = state.bar.hwnd;
    ASSERT_TRUE(MoveWindow(bar, 0, 0, 120, 30, FALSE));
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 200, 50);
    (void)ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, 200, 50};
    HBRUSH other = CreateSolidBrush(RGB(1, 2, 3));
    (void)FillRect(dc, &all, other);

    EXPECT_EQ(SendMessageW(bar, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    const COLORREF menu = GetNearestColor(dc, GetSysColor(COLOR_MENU));
    EXPECT_EQ(GetPixel(dc, 0, 0), menu);
    EXPECT_EQ(GetPixel(dc, 119, 29), menu);
    EXPECT_EQ(GetPixel(dc, 120, 29), RGB(1, 2, 3)) << "only the client area";
    EXPECT_EQ(GetPixel(dc, 119, 30), RGB(1, 2, 3));

    (void)SelectObject(dc, old);
    (void)DeleteObject(other);
    (void)DeleteObject(bitmap);
    (void)DeleteDC(dc);
}

TEST_F(ToolBarTest, BarOwnsItsBrushAndFontOnly) {
    const int start = CountGdiObjects();
    ASSERT_GT(start, 0);
    {
        CToolBar unbuilt;
        EXPECT_EQ(CountGdiObjects(), start + 1) << "the brush exists from construction";
    }
    EXPECT_EQ(CountGdiObjects(), start);

    // A built bar holds its font besides; dropping it frees both and leaves the windows alone.
    auto state = std::make_unique<BarState>(&settings);
    AttachBar(*state, frame);
    HWND bar = state->bar.hwnd;
    ASSERT_NE(bar, nullptr);
    const int built = CountGdiObjects();
    state.reset();
    EXPECT_TRUE(IsWindow(bar));
    EXPECT_EQ(built - CountGdiObjects(), 2);
    // The windows outlive their object; their messages no longer reach it.
    HWND edit = GetDlgItem(bar, kSearchEdit);
    const RECT editBefore = ChildRect(bar, edit);
    (void)SendMessageW(bar, WM_SIZE, SIZE_RESTORED, MAKELPARAM(50, 10));
    const RECT editAfter = ChildRect(bar, edit);
    EXPECT_TRUE(EqualRect(&editBefore, &editAfter));
    ASSERT_TRUE(SetWindowTextW(edit, L"still an edit box"));
    EXPECT_EQ(GetWindowTextLengthW(edit), 17);
    (void)DestroyWindow(bar);
}

}  // namespace
