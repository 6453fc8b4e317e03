// The bar end to end: the real DLL in the stand-in host, driven by messages posted to the search box and run
// through the host's own message loop, which offers each one to the plug-in first.
#include "host/standin_host.h"
#include "bar/host_interface.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr int kSearchEdit = 40002;
constexpr int kRegExpCheck = 1001;
constexpr DWORD kWaitMs = 3000;

const wchar_t kDocument[] =
    L"first line: abc and more\r\n"
    L"\u65E5\u672C\u8A9E\u306E\u691C\u7D22\u30C6\u30AD\u30B9\u30C8\r\n"
    L"use Unicode here\r\n";

class BarSearchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(host.LoadPlugin(CopyPluginAs(L"FrBarSearch")));
        frame = host.OpenFrame(kEventAttach, kDocument);
        ASSERT_NE(frame, nullptr);
        bar = host.Toolbar(frame);
        ASSERT_NE(bar, nullptr);
        ASSERT_TRUE(host.ToolbarShown(frame));
        box = GetDlgItem(bar, kSearchEdit);
        check = GetDlgItem(bar, kRegExpCheck);
        ASSERT_NE(box, nullptr);
        ASSERT_NE(check, nullptr);
    }
    void TearDown() override {
        BYTE keys[256] = {};
        (void)SetKeyboardState(keys);
    }

    // Posts the text as WM_CHAR units, then runs the host's loop until the box holds them all.
    bool Type(const std::wstring& text) {
        const int expected = GetWindowTextLengthW(box) + static_cast<int>(text.size());
        for (wchar_t unit : text) {
            (void)PostMessageW(box, WM_CHAR, unit, 1);
        }
        return host.PumpUntil([&] { return GetWindowTextLengthW(box) >= expected; }, kWaitMs);
    }

    void PostKey(UINT key, UINT scanCode = 0) {
        (void)PostMessageW(box, WM_KEYDOWN, key, 1 | (scanCode << 16));
        (void)PostMessageW(box, WM_KEYUP, key, 0xC0000001 | (scanCode << 16));
    }

    // Presses Enter and waits for one search; then gives a second one the chance to turn up.
    bool EnterSearches() {
        const size_t before = host.Count(kMsgFind);
        PostKey(VK_RETURN);
        const bool searched = host.PumpUntil([&] { return host.Count(kMsgFind) > before; }, kWaitMs);
        host.Pump(100);
        return searched && host.Count(kMsgFind) == before + 1;
    }

    void SetKeys(std::initializer_list<int> down) {
        BYTE keys[256] = {};
        for (int key : down) {
            keys[key] = 0x80;
        }
        (void)SetKeyboardState(keys);
    }

    std::wstring BoxText() const {
        wchar_t text[512] = {};
        (void)GetWindowTextW(box, text, 512);
        return text;
    }

    StandInHost host;
    HWND frame = nullptr;
    HWND bar = nullptr;
    HWND box = nullptr;
    HWND check = nullptr;
};

// Records the key presses that reach the search box, whoever dispatches them.
WNDPROC boxProc = nullptr;
int boxF3 = 0;
int boxEnter = 0;  // Enter as a key press or as a character
LRESULT CALLBACK BoxSpy(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && wParam == VK_F3) {
        ++boxF3;
    }
    if ((message == WM_KEYDOWN && wParam == VK_RETURN) || (message == WM_CHAR && wParam == L'\r')) {
        ++boxEnter;
    }
    return CallWindowProcW(boxProc, window, message, wParam, lParam);
}

TEST_F(BarSearchTest, EnterAsksTheHostToSearchForTheTypedText) {
    struct Row {
        const wchar_t* typed;
        bool tick;  // BM_CLICK on the check box before Enter
        WPARAM flags;
        const wchar_t* match;  // what the host selects in the document
    };
    const Row rows[] = {
        {L"abc", false, 0x81, L"abc"},
        {L"a.c", true, 0xA1, L"abc"},
        {L"\u691C\u7D22", true, 0x81, L"\u691C\u7D22"},  // ticked again, so clear
        {L"use U", false, 0x81, L"use U"},
    };
    const std::wstring document = kDocument;
    // A single-line box ignores Enter anyway: only a spy shows that it never reaches the box.
    boxProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BoxSpy)));
    for (const Row& row : rows) {
        SCOPED_TRACE(ToUtf8(row.typed));
        (void)SetWindowTextW(box, L"");
        (void)SendMessageW(host.Document(frame), EM_SETSEL, 0, 0);
        if (row.tick) {
            (void)SendMessageW(check, BM_CLICK, 0, 0);
        }
        ASSERT_TRUE(Type(row.typed));
        EXPECT_EQ(BoxText(), row.typed) << "every character reaches the box, u and U included";
        ASSERT_TRUE(EnterSearches());
        const HostRecord* search = host.Last(kMsgFind);
        EXPECT_EQ(search->frame, frame);
        EXPECT_EQ(search->wParam, row.flags);
        EXPECT_EQ(search->text, row.typed);
        EXPECT_TRUE(search->found);
        DWORD start = 0;
        DWORD end = 0;
        (void)SendMessageW(host.Document(frame), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                           reinterpret_cast<LPARAM>(&end));
        const size_t at = document.find(row.match);
        EXPECT_EQ(start, at);
        EXPECT_EQ(end, at + wcslen(row.match));
        EXPECT_EQ(BoxText(), row.typed) << "Enter is not typed into the box";
    }
    (void)SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(boxProc));
    EXPECT_EQ(boxEnter, 0) << "Enter reached the box as a key press or a character";
}

TEST_F(BarSearchTest, EnterInAnEmptyBoxIsConsumedAndSendsNothing) {
    MSG enter{box, WM_KEYDOWN, VK_RETURN, 1, 0, {}};
    EXPECT_TRUE(host.PreTranslate(enter));
    PostKey(VK_RETURN);
    host.Pump(200);
    EXPECT_EQ(host.Count(kMsgFind), 0u);
}

TEST_F(BarSearchTest, OnlyKeyPressesAndCharactersForTheBoxAreTaken) {
    HWND document = host.Document(frame);
    struct Row {
        const char* what;
        HWND window;
        UINT message;
        WPARAM wParam;
        bool taken;
    };
    const Row rows[] = {
        {"key release in the box", box, WM_KEYUP, VK_RETURN, false},
        {"Alt+key in the box", box, WM_SYSKEYDOWN, 'F', false},
        {"system character in the box", box, WM_SYSCHAR, 'f', false},
        {"mouse in the box", box, WM_LBUTTONDOWN, 0, false},
        {"key for the document", document, WM_KEYDOWN, 'A', false},
        {"Enter for the document", document, WM_KEYDOWN, VK_RETURN, false},
        {"character for the document", document, WM_CHAR, 'a', false},
        {"key for the check box", check, WM_KEYDOWN, VK_SPACE, false},
        {"key in the box", box, WM_KEYDOWN, VK_LEFT, true},
        {"character in the box", box, WM_CHAR, 'x', true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MSG msg{row.window, row.message, row.wParam, 1, 0, {}};
        EXPECT_EQ(host.PreTranslate(msg), row.taken);
    }
    EXPECT_EQ(host.Count(kMsgFind), 0u);
}

TEST_F(BarSearchTest, ShortcutKeysInTheBoxReachTheBoxNotTheHost) {
    boxProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BoxSpy)));
    MSG f3{box, WM_KEYDOWN, VK_F3, 1, 0, {}};
    EXPECT_TRUE(host.PreTranslate(f3)) << "the host must not treat F3 as its own shortcut";
    EXPECT_EQ(boxF3, 1) << "the plug-in dispatched it to the box";
    (void)SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(boxProc));

    // Ctrl+V through the host's loop pastes into the box exactly once.
    ASSERT_TRUE(OpenClipboard(frame));
    (void)EmptyClipboard();
    const wchar_t pasted[] = L"pasted";
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof(pasted));
    std::memcpy(GlobalLock(memory), pasted, sizeof(pasted));
    (void)GlobalUnlock(memory);
    ASSERT_NE(SetClipboardData(CF_UNICODETEXT, memory), nullptr);
    (void)CloseClipboard();
    SetKeys({VK_CONTROL, VK_LCONTROL});
    PostKey('V', 0x2F);
    EXPECT_TRUE(host.PumpUntil([&] { return GetWindowTextLengthW(box) > 0; }, kWaitMs));
    host.Pump(100);
    EXPECT_EQ(BoxText(), L"pasted");
    EXPECT_EQ(host.Count(kMsgFind), 0u);
}

TEST_F(BarSearchTest, ShiftEnterSearchesAsEnterAndConfirmingAConversionDoesNot) {
    ASSERT_TRUE(Type(L"abc"));
    // The key that confirms an input-method conversion is no Enter.
    PostKey(VK_PROCESSKEY);
    host.Pump(200);
    EXPECT_EQ(host.Count(kMsgFind), 0u);

    ASSERT_TRUE(EnterSearches());
    const HostRecord plain = *host.Last(kMsgFind);
    SetKeys({VK_SHIFT, VK_LSHIFT});
    ASSERT_TRUE(EnterSearches());
    const HostRecord* shifted = host.Last(kMsgFind);
    EXPECT_EQ(shifted->wParam, plain.wParam);
    EXPECT_EQ(shifted->text, plain.text);
}

TEST_F(BarSearchTest, SearchTextIsAtMost255Characters) {
    EXPECT_EQ(SendMessageW(box, EM_GETLIMITTEXT, 0, 0), 255);
    // WM_SETTEXT is not held to the limit; the request still carries 255 characters at most.
    const std::wstring longText(300, L'x');
    ASSERT_TRUE(SetWindowTextW(box, longText.c_str()));
    ASSERT_EQ(GetWindowTextLengthW(box), 300);
    ASSERT_TRUE(EnterSearches());
    EXPECT_EQ(host.Last(kMsgFind)->text, longText.substr(0, 255));

    // Typing stops at 255, once the box is wide enough not to stop it first.
    (void)SetWindowTextW(box, L"");
    ASSERT_TRUE(MoveWindow(box, 0, 0, 4000, 24, FALSE));
    for (int i = 0; i < 300; ++i) {
        (void)PostMessageW(box, WM_CHAR, L'i', 1);
    }
    EXPECT_TRUE(host.PumpUntil([&] { return GetWindowTextLengthW(box) >= 255; }, kWaitMs));
    host.Pump(200);
    EXPECT_EQ(GetWindowTextLengthW(box), 255);
}

TEST_F(BarSearchTest, FocusEnteringTheBoxSelectsItsWholeText) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        (void)SetWindowTextW(box, L"select me");
        (void)SendMessageW(box, EM_SETSEL, 3, 3);
        (void)SetFocus(host.Document(frame));
        ASSERT_EQ(SetFocus(box), host.Document(frame));
        // The focus message went on to the edit box itself, which made its caret.
        GUITHREADINFO thread{};
        thread.cbSize = sizeof(thread);
        ASSERT_TRUE(GetGUIThreadInfo(GetCurrentThreadId(), &thread));
        EXPECT_EQ(thread.hwndCaret, box);
        const bool selected = host.PumpUntil(
            [&] {
                DWORD start = 1;
                DWORD end = 0;
                (void)SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                                   reinterpret_cast<LPARAM>(&end));
                return start == 0 && end == 9;
            },
            kWaitMs);
        EXPECT_TRUE(selected);
    }
}

TEST_F(BarSearchTest, LayoutFollowsTheWidthTheHostGivesTheBar) {
    RECT checkRect{};
    (void)GetWindowRect(check, &checkRect);
    const int checkWidth = checkRect.right - checkRect.left;
    struct Row {
        int width;
        int editWidth;
        int checkX;
    };
    for (const Row& row : {Row{300, 200, 205}, Row{150, 150, 155}, Row{0, 0, 5}}) {
        SCOPED_TRACE(row.width);
        ASSERT_TRUE(MoveWindow(bar, 0, 0, row.width, 26, TRUE));
        RECT e{};
        RECT c{};
        (void)GetWindowRect(box, &e);
        (void)GetWindowRect(check, &c);
        (void)MapWindowPoints(nullptr, bar, reinterpret_cast<POINT*>(&e), 2);
        (void)MapWindowPoints(nullptr, bar, reinterpret_cast<POINT*>(&c), 2);
        EXPECT_EQ(e.left, 0);
        EXPECT_EQ(e.right, row.editWidth);
        EXPECT_EQ(e.bottom - e.top, 26);
        EXPECT_EQ(c.left, row.checkX);
        EXPECT_EQ(c.right - c.left, checkWidth);
        EXPECT_EQ(c.bottom - c.top, 26);
    }
}

}  // namespace
