// The window-support layer on its own: binding from the first message, nested dispatch, subclassing and its
// undoing, class registration, and the binding memory.
#include "bar/window_support.h"
#include "bar_alloc_fault.h"
#include "base/unique_handle.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace {

constexpr UINT kOuter = WM_APP + 1;
constexpr UINT kInner = WM_APP + 2;
constexpr UINT kTemplateId = 107;

std::atomic<int> dispatches{0};

// Records what reaches it; answers kOuter and kInner, and lets the tests clear the handled flag.
template <typename Self>
class Probe : public WindowObject<Self> {
  public:
    static constexpr UINT kClassStyle = CS_DBLCLKS;
    static constexpr DWORD kWindowStyle = WS_POPUP;
    static constexpr DWORD kWindowExStyle = 0;

    BOOL HandleMessage(HWND window, UINT message, WPARAM, LPARAM, LRESULT& result, DWORD mapId) override {
        ++dispatches;
        if (messages.empty()) {
            hwndAtFirst = this->hwnd;
            firstWindow = window;
        }
        messages.push_back(message);
        if (mapId != 0) {
            return FALSE;
        }
        switch (message) {
            case kOuter:
                return this->Handle(result, [this] { return OnOuter(); });
            case kInner:
                return this->Handle(result, [this] { return OnInner(); });
            default:
                return FALSE;
        }
    }

    void FinalMessage(HWND window) override {
        finalRan = true;
        hwndAtFinal = this->hwnd;
        procAtFinal = GetWindowLongPtrW(window, GWLP_WNDPROC);
    }

    using BoundWindow::Unbind;

    bool Saw(UINT message) const {
        for (UINT m : messages) {
            if (m == message) {
                return true;
            }
        }
        return false;
    }

    std::vector<UINT> messages;
    HWND hwndAtFirst = nullptr;
    HWND firstWindow = nullptr;
    bool finalRan = false;
    HWND hwndAtFinal = reinterpret_cast<HWND>(1);
    LONG_PTR procAtFinal = 0;
    bool clearOuter = false;
    bool clearInner = false;
    LRESULT innerResult = -1;
    UINT messageAfterInner = 0;

  private:
    LRESULT OnOuter() {
        if (clearOuter) {
            this->handled = FALSE;
        }
        innerResult = SendMessageW(this->hwnd, kInner, 0, 0);
        messageAfterInner = this->currentMessage ? this->currentMessage->message : 0;
        return 42;
    }
    LRESULT OnInner() {
        if (clearInner) {
            this->handled = FALSE;
        }
        return 7;
    }
};

class PopupProbe : public Probe<PopupProbe> {};
class EditProbe : public Probe<EditProbe> {};
class RaceProbe : public Probe<RaceProbe> {};
class ChildProbe : public Probe<ChildProbe> {
  public:
    static constexpr DWORD kWindowStyle = WS_CHILD;
};

class DialogProbe : public DialogObject<DialogProbe> {
  public:
    BOOL HandleMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT&, DWORD) override {
        if (messages.empty()) {
            hwndAtFirst = hwnd;
        }
        messages.push_back(message);
        return FALSE;
    }
    void FinalMessage(HWND) override { finalRan = true; }

    std::vector<UINT> messages;
    HWND hwndAtFirst = nullptr;
    bool finalRan = false;
};

const RECT kRect = {10, 10, 110, 40};

class WindowSupportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The plug-in's own module lends its dialog template; its own copy of the layer is separate.
        plugin = LoadLibraryW(CopyPluginAs(L"FrLayer").c_str());
        ASSERT_NE(plugin, nullptr);
        StartWindowSupport(plugin);
    }
    void TearDown() override {
        StopWindowSupport();
        FailAllocation(0);
    }

    static HWND MakeEdit() {
        return CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
    }

    HMODULE plugin = nullptr;
};

// Creates `nestedInner`'s window when the next window of this thread is about to get its first message.
PopupProbe* nestedInner = nullptr;
HHOOK nestingHook = nullptr;
int dispatchesAtNesting = -1;
LRESULT CALLBACK CreateInside(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && nestedInner != nullptr) {
        PopupProbe* inner = nestedInner;
        nestedInner = nullptr;  // the inner window passes through here too
        dispatchesAtNesting = dispatches;
        (void)inner->Create(nullptr, kRect, 0, 0);
    }
    return CallNextHookEx(nestingHook, code, wParam, lParam);
}

TEST_F(WindowSupportTest, EveryMessageFromTheFirstReachesTheBoundObject) {
    PopupProbe window;
    HWND created = window.Create(nullptr, kRect, 0, 0);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(window.hwnd, created);
    EXPECT_EQ(window.firstWindow, created);
    EXPECT_EQ(window.hwndAtFirst, created) << "the handle must be set before the first dispatch";
    EXPECT_TRUE(window.Saw(WM_NCCREATE));
    EXPECT_TRUE(window.Saw(WM_CREATE));

    // A dialog with a font gets WM_SETFONT before WM_INITDIALOG; both must reach the object.
    DialogProbe dialog;
    HWND made = dialog.Create(created, kTemplateId);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(dialog.hwndAtFirst, made);
    size_t setFont = dialog.messages.size();
    size_t initDialog = dialog.messages.size();
    for (size_t i = 0; i < dialog.messages.size(); ++i) {
        if (dialog.messages[i] == WM_SETFONT && setFont == dialog.messages.size()) {
            setFont = i;
        }
        if (dialog.messages[i] == WM_INITDIALOG && initDialog == dialog.messages.size()) {
            initDialog = i;
        }
    }
    ASSERT_LT(initDialog, dialog.messages.size());
    EXPECT_LT(setFont, initDialog);

    // A creation nested in another of this thread, before the outer window's first message: each window binds
    // its own object.
    PopupProbe outer;
    PopupProbe inner;
    nestedInner = &inner;
    nestingHook = SetWindowsHookExW(WH_CBT, &CreateInside, nullptr, GetCurrentThreadId());
    ASSERT_NE(nestingHook, nullptr);
    const int beforeOuter = dispatches;
    HWND outerWindow = outer.Create(nullptr, kRect, 0, 0);
    (void)UnhookWindowsHookEx(nestingHook);
    ASSERT_NE(outerWindow, nullptr);
    ASSERT_EQ(dispatchesAtNesting, beforeOuter) << "the inner creation came before the outer's first message";
    ASSERT_NE(inner.hwnd, nullptr);
    EXPECT_NE(inner.hwnd, outerWindow);
    EXPECT_EQ(inner.firstWindow, inner.hwnd);
    EXPECT_EQ(outer.hwnd, outerWindow);
    EXPECT_EQ(outer.firstWindow, outerWindow);
    EXPECT_TRUE(outer.Saw(WM_NCCREATE));

    for (auto* probe : {static_cast<BoundWindow*>(&dialog), static_cast<BoundWindow*>(&window),
                        static_cast<BoundWindow*>(&outer), static_cast<BoundWindow*>(&inner)}) {
        ASSERT_TRUE(DestroyWindow(probe->hwnd));
        EXPECT_EQ(probe->hwnd, nullptr);
    }
    EXPECT_TRUE(window.finalRan);
    EXPECT_EQ(window.hwndAtFinal, nullptr) << "the window is forgotten before the final notification";
    EXPECT_TRUE(window.Saw(WM_NCDESTROY));
    EXPECT_TRUE(dialog.finalRan);
}

TEST_F(WindowSupportTest, HandledFlagSurvivesNestedDispatch) {
    struct Row {
        bool clearOuter;
        bool clearInner;
        LRESULT outer;  // DefWindowProcW answers 0 for application messages
        LRESULT inner;
    };
    const Row rows[] = {{false, false, 42, 7}, {false, true, 42, 0}, {true, false, 0, 7}, {true, true, 0, 0}};
    PopupProbe window;
    ASSERT_NE(window.Create(nullptr, kRect, 0, 0), nullptr);
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "clear outer " << row.clearOuter << ", inner " << row.clearInner);
        window.clearOuter = row.clearOuter;
        window.clearInner = row.clearInner;
        EXPECT_EQ(SendMessageW(window.hwnd, kOuter, 0, 0), row.outer);
        EXPECT_EQ(window.innerResult, row.inner);
        EXPECT_EQ(window.messageAfterInner, kOuter) << "the current message is put back after a nested one";
    }
    (void)DestroyWindow(window.hwnd);
}

// A test's own subclass, put on top of the layer's.
WNDPROC belowSpy = nullptr;
LONG_PTR spyProcAfterLast = 0;
LRESULT CALLBACK Spy(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = CallWindowProcW(belowSpy, window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        spyProcAfterLast = GetWindowLongPtrW(window, GWLP_WNDPROC);
    }
    return result;
}

TEST_F(WindowSupportTest, SubclassIsUndoneOnlyWhileOursIsOnTop) {
    for (bool spyOnTop : {false, true}) {
        SCOPED_TRACE(spyOnTop ? "another subclass on top" : "ours on top");
        HWND edit = MakeEdit();
        ASSERT_NE(edit, nullptr);
        const LONG_PTR own = GetWindowLongPtrW(edit, GWLP_WNDPROC);
        EditProbe probe;
        ASSERT_TRUE(probe.SubclassWindow(edit));
        EXPECT_EQ(probe.hwnd, edit);
        // Unhandled messages reach the edit box's own procedure.
        ASSERT_TRUE(SetWindowTextW(edit, L"kept"));
        wchar_t text[16] = {};
        (void)GetWindowTextW(edit, text, 16);
        EXPECT_STREQ(text, L"kept");
        EXPECT_TRUE(probe.Saw(WM_SETTEXT));
        if (spyOnTop) {
            belowSpy = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Spy)));
        }
        ASSERT_TRUE(DestroyWindow(edit));
        EXPECT_TRUE(probe.finalRan);
        EXPECT_EQ(probe.hwnd, nullptr);
        if (spyOnTop) {
            EXPECT_EQ(spyProcAfterLast, reinterpret_cast<LONG_PTR>(&Spy))
                << "a later subclass must stay in place";
        } else {
            EXPECT_EQ(probe.procAtFinal, own) << "the edit box's own procedure is put back";
        }
    }
}

TEST_F(WindowSupportTest, ReleasedObjectGetsNoMoreMessages) {
    // Own class: the window falls back to DefWindowProcW.
    {
        auto window = std::make_unique<PopupProbe>();
        HWND created = window->Create(nullptr, kRect, 0, 0);
        ASSERT_NE(created, nullptr);
        window.reset();
        const int before = dispatches;
        EXPECT_EQ(SendMessageW(created, kOuter, 0, 0), 0);
        EXPECT_EQ(dispatches, before);
        EXPECT_TRUE(DestroyWindow(created));
        EXPECT_EQ(dispatches, before);
    }
    // Subclassed control: it goes on as an edit box, through its own procedure put back or, under another
    // subclass that still calls ours, through its class's procedure.
    for (bool spyOnTop : {false, true}) {
        SCOPED_TRACE(spyOnTop ? "another subclass on top" : "ours on top");
        HWND edit = MakeEdit();
        const LONG_PTR own = GetWindowLongPtrW(edit, GWLP_WNDPROC);
        auto probe = std::make_unique<EditProbe>();
        ASSERT_TRUE(probe->SubclassWindow(edit));
        (void)SendMessageW(edit, EM_LIMITTEXT, 5, 0);
        if (spyOnTop) {
            belowSpy = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Spy)));
        }
        probe.reset();
        const int before = dispatches;
        EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), spyOnTop ? reinterpret_cast<LONG_PTR>(&Spy) : own);
        // DefWindowProcW would keep the text too, but knows no edit message.
        EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 5);
        ASSERT_TRUE(SetWindowTextW(edit, L"after"));
        wchar_t text[16] = {};
        (void)GetWindowTextW(edit, text, 16);
        EXPECT_STREQ(text, L"after");
        EXPECT_EQ(dispatches, before);
        EXPECT_TRUE(DestroyWindow(edit));
        EXPECT_EQ(dispatches, before);
    }
}

TEST_F(WindowSupportTest, ClassIsRegisteredOnceWithItsAttributes) {
    PopupProbe first;
    PopupProbe second;
    ASSERT_NE(first.Create(nullptr, kRect, 0, 0), nullptr);
    ASSERT_NE(second.Create(nullptr, kRect, 0, 0), nullptr);
    const ATOM atom = static_cast<ATOM>(GetClassLongPtrW(first.hwnd, GCW_ATOM));
    EXPECT_EQ(atom, static_cast<ATOM>(GetClassLongPtrW(second.hwnd, GCW_ATOM)));

    wchar_t name[64] = {};
    ASSERT_GT(GetClassNameW(first.hwnd, name, 64), 0);
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    ASSERT_EQ(static_cast<ATOM>(GetClassInfoExW(plugin, name, &info)), atom);
    // "ATL:" and the class's start procedure in upper-case hex, as wide as a pointer.
    wchar_t expected[64];
    swprintf(expected, 64, L"ATL:%0*llX", static_cast<int>(2 * sizeof(void*)),
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(info.lpfnWndProc)));
    EXPECT_STREQ(name, expected);
    EXPECT_EQ(info.style, static_cast<UINT>(CS_DBLCLKS));
    EXPECT_EQ(info.cbClsExtra, 0);
    EXPECT_EQ(info.cbWndExtra, 0);
    EXPECT_EQ(info.hCursor, LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_EQ(info.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)));
    (void)DestroyWindow(first.hwnd);
    (void)DestroyWindow(second.hwnd);
}

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

// One racer of the concurrent first creations: says that it is up, waits for the start, then creates.
struct Racer {
    UniqueKernelHandle up;
    HANDLE start = nullptr;
    bool started = false;
    bool bound = false;
    ATOM atom = 0;
};

DWORD WINAPI RunRacer(void* param) {
    auto* racer = static_cast<Racer*>(param);
    RaceProbe probe;
    (void)SetEvent(racer->up.get());
    racer->started = WaitForSingleObject(racer->start, 5000) == WAIT_OBJECT_0;
    if (!racer->started) {
        return 0;
    }
    HWND window = probe.Create(nullptr, kRect, 0, 0);
    if (window != nullptr && probe.hwnd == window && probe.hwndAtFirst == window) {
        racer->bound = true;
        racer->atom = static_cast<ATOM>(GetClassLongPtrW(window, GCW_ATOM));
    }
    (void)DestroyWindow(window);
    return 0;
}

// The start is given once every racer is up, so that all of them reach the first creation together.
TEST_F(WindowSupportTest, ConcurrentFirstCreationsEachBindTheirOwnObject) {
    constexpr DWORD kThreads = 4;
    struct RaceState {
        UniqueKernelHandle start{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        Racer racers[kThreads];
        UniqueKernelHandle threads[kThreads];
    };
    // The process's first window is made here, before the race: under Wine, threads that make a process's
    // very first windows together now and then hang or corrupt its heap, with any window class. The race is
    // about this layer's first registration and binding, which the warm-up leaves untouched.
    (void)DestroyWindow(MakeEdit());
    auto race = std::make_unique<RaceState>();
    ASSERT_TRUE(race->start);
    HANDLE ups[kThreads] = {};
    HANDLE running[kThreads] = {};
    DWORD count = 0;
    for (; count < kThreads; ++count) {
        Racer& racer = race->racers[count];
        racer.start = race->start.get();
        racer.up.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!racer.up) {
            break;
        }
        race->threads[count].reset(CreateThread(nullptr, 0, &RunRacer, &racer, 0, nullptr));
        if (!race->threads[count]) {
            break;
        }
        ups[count] = racer.up.get();
        running[count] = race->threads[count].get();
    }
    const bool allUp =
        count == kThreads && WaitForMultipleObjects(kThreads, ups, TRUE, 5000) == WAIT_OBJECT_0;
    // Given even when a racer is missing or late, so that every thread comes to an end.
    (void)SetEvent(race->start.get());
    if (count > 0 && WaitForMultipleObjects(count, running, TRUE, 15000) != WAIT_OBJECT_0) {
        (void)race.release();  // a racer that is still running keeps using it
        FAIL() << "a racer did not end";
    }
    ASSERT_EQ(count, kThreads) << "a racer could not be made";
    EXPECT_TRUE(allUp) << "the racers were not all up at once";
    for (const Racer& racer : race->racers) {
        EXPECT_TRUE(racer.started) << "a racer was not started with the others";
        EXPECT_TRUE(racer.bound);
        EXPECT_EQ(racer.atom, race->racers[0].atom);
    }
}

TEST_F(WindowSupportTest, BindingMemoryIsMadeOnceAndItsLackRefusesBinding) {
    // No memory: nothing is created, and nothing stays announced for the next window on this thread.
    PopupProbe starved;
    FailAllocation(1);
    SetLastError(0);
    EXPECT_EQ(starved.Create(nullptr, kRect, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OUTOFMEMORY));

    HWND edit = MakeEdit();
    const LONG_PTR own = GetWindowLongPtrW(edit, GWLP_WNDPROC);
    EditProbe starvedEdit;
    FailAllocation(1);
    EXPECT_FALSE(starvedEdit.SubclassWindow(edit));
    EXPECT_EQ(starvedEdit.hwnd, nullptr);
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), own);
    (void)DestroyWindow(edit);

    PopupProbe other;
    ASSERT_NE(other.Create(nullptr, kRect, 0, 0), nullptr);
    EXPECT_EQ(other.hwndAtFirst, other.hwnd);
    EXPECT_TRUE(starved.messages.empty());

    // A failed creation call leaves no announcement behind either: a window of the class made by someone else
    // afterwards stays unbound.
    ChildProbe orphan;
    EXPECT_EQ(orphan.Create(nullptr, kRect, 0, 0), nullptr);  // a child needs a parent
    wchar_t className[64] = {};
    ASSERT_GT(GetClassNameW(other.hwnd, className, 64), 0);
    HWND stray =
        CreateWindowExW(0, className, nullptr, WS_CHILD, 0, 0, 10, 10, other.hwnd, nullptr, plugin, nullptr);
    ASSERT_NE(stray, nullptr);
    EXPECT_EQ(orphan.hwnd, nullptr);
    EXPECT_TRUE(orphan.messages.empty());
    (void)DestroyWindow(stray);

    // Binding again reuses the memory of the first binding.
    (void)DestroyWindow(other.hwnd);
    const int allocations = Allocations();
    ASSERT_NE(other.Create(nullptr, kRect, 0, 0), nullptr);
    EXPECT_EQ(Allocations(), allocations);
    (void)DestroyWindow(other.hwnd);
}

}  // namespace
