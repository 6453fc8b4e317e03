// Binding through GWLP_USERDATA, a slot of the windows we create and of our template's controls: storing the
// object there cannot fail, so a window is bound at its first message or never was ours.
#include "bar/window_support.h"

#include "base/unique_handle.h"

#include <cwchar>

// Per-object binding memory: the object's entry in the creation list.
struct WindowBinding {
    BoundWindow* owner;
    WNDPROC procedure;  // the procedure that routes to the owner; for a dialog, its dialog procedure
    DWORD threadId;
    WindowBinding* next;
};

namespace {

HINSTANCE moduleInstance = nullptr;
CRITICAL_SECTION layerLock;
WindowBinding* creationList = nullptr;  // newest first, so that a nested creation finds its own entry

// Takes `entry` out of the creation list or, with null, the newest entry that `thread` announced for
// `procedure`; returns the entry taken, or null.
WindowBinding* Unlist(WindowBinding* entry, DWORD thread, WNDPROC procedure) {
    CriticalSectionLock guard(layerLock);
    for (WindowBinding** link = &creationList; *link != nullptr; link = &(*link)->next) {
        WindowBinding* at = *link;
        if (entry != nullptr ? at == entry : at->threadId == thread && at->procedure == procedure) {
            *link = at->next;
            return at;
        }
    }
    return nullptr;
}

// Runs the creation call with `binding` announced on this thread; takes it back when no window claimed it.
template <typename Creation>
HWND CreateAnnounced(WindowBinding& binding, Creation&& creation) {
    {
        CriticalSectionLock guard(layerLock);
        binding.threadId = GetCurrentThreadId();
        binding.next = creationList;
        creationList = &binding;
    }
    HWND window = creation();
    (void)Unlist(&binding, 0, nullptr);
    return window;
}

// The class of `procedure`, registered once per process; a class of that name left by an earlier load of this
// module is taken over. 0 when registration fails.
ATOM ClassAtom(WNDPROC procedure, UINT classStyle) {
    // "ATL:" and the procedure's address in upper-case hex: eight digits in the 32-bit DLL.
    wchar_t name[32] = {};
    (void)_snwprintf(name, 31, L"ATL:%p", reinterpret_cast<void*>(procedure));
    CriticalSectionLock guard(layerLock);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    const auto atom = static_cast<ATOM>(GetClassInfoExW(moduleInstance, name, &existing));
    if (atom != 0) {
        return atom;
    }
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = classStyle;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = moduleInstance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = name;
    return RegisterClassExW(&windowClass);
}

}  // namespace

void StartWindowSupport(HINSTANCE instance) {
    moduleInstance = instance;
    InitializeCriticalSection(&layerLock);
}

void StopWindowSupport() {
    DeleteCriticalSection(&layerLock);
}

BoundWindow::BoundWindow() noexcept = default;

BoundWindow::~BoundWindow() {
    Unbind();
}

BOOL BoundWindow::HandleMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&, DWORD) {
    return FALSE;
}

void BoundWindow::FinalMessage(HWND) {}

bool BoundWindow::MakeBinding(WNDPROC procedure) noexcept {
    if (!binding) {
        binding = MakeHeap<WindowBinding>();
        if (!binding) {
            SetLastError(ERROR_OUTOFMEMORY);
            return false;
        }
    }
    *binding = WindowBinding{this, procedure, 0, nullptr};
    return true;
}

HWND BoundWindow::CreateBound(WNDPROC procedure,
                              UINT classStyle,
                              DWORD style,
                              DWORD exStyle,
                              const RECT& rect,
                              HWND parent,
                              UINT_PTR controlId) noexcept {
    if (!MakeBinding(procedure)) {
        return nullptr;
    }
    const ATOM atom = ClassAtom(procedure, classStyle);
    if (atom == 0) {
        return nullptr;
    }
    return CreateAnnounced(*binding, [&] {
        return CreateWindowExW(exStyle, MAKEINTATOM(atom), nullptr, style, rect.left, rect.top,
                               rect.right - rect.left, rect.bottom - rect.top, parent,
                               reinterpret_cast<HMENU>(controlId), moduleInstance, nullptr);
    });
}

HWND BoundWindow::CreateBoundDialog(DLGPROC procedure, HWND parent, UINT templateId) noexcept {
    if (!MakeBinding(reinterpret_cast<WNDPROC>(procedure))) {
        return nullptr;
    }
    return CreateAnnounced(*binding, [&] {
        return CreateDialogParamW(moduleInstance, MAKEINTRESOURCEW(templateId), parent, procedure, 0);
    });
}

bool BoundWindow::Subclass(HWND window, WNDPROC procedure) noexcept {
    if (!MakeBinding(procedure)) {
        return false;
    }
    const LONG_PTR previous = SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
    if (previous == 0) {
        return false;
    }
    previousProc = reinterpret_cast<WNDPROC>(previous);
    hwnd = window;
    (void)SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return true;
}

void BoundWindow::Unbind() noexcept {
    if (hwnd == nullptr) {
        return;
    }
    // A window of our own class falls back to DefWindowProcW; a dialog's procedure is never on top.
    if (GetWindowLongPtrW(hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(binding->procedure)) {
        (void)SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc));
    }
    (void)SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    hwnd = nullptr;
    previousProc = DefWindowProcW;
}

BoundWindow* BoundWindow::Find(HWND window, WNDPROC procedure) noexcept {
    auto* object = reinterpret_cast<BoundWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (object != nullptr) {
        return object;
    }
    // The window's first message: the object announced for it on this thread takes it.
    WindowBinding* announced = Unlist(nullptr, GetCurrentThreadId(), procedure);
    if (announced == nullptr) {
        return nullptr;
    }
    object = announced->owner;
    object->hwnd = window;
    (void)SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    return object;
}

BOOL BoundWindow::Dispatch(const MSG& msg, LRESULT& result) noexcept {
    const MSG* outerMessage = currentMessage;
    const BOOL outerHandled = handled;
    currentMessage = &msg;
    const BOOL wasHandled = HandleMessage(msg.hwnd, msg.message, msg.wParam, msg.lParam, result, 0);
    handled = outerHandled;
    currentMessage = outerMessage;
    return wasHandled;
}

LRESULT BoundWindow::RouteWindow(WNDPROC self, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    BoundWindow* object = Find(window, self);
    if (object == nullptr) {
        // A window we no longer know goes to its own procedure: its class's, or DefWindowProcW for ours.
        auto own = reinterpret_cast<WNDPROC>(GetClassLongPtrW(window, GCLP_WNDPROC));
        return CallWindowProcW(own == self ? DefWindowProcW : own, window, message, wParam, lParam);
    }
    LRESULT result = 0;
    const BOOL wasHandled = object->Dispatch(MSG{window, message, wParam, lParam, 0, {}}, result);
    if (wasHandled && message != WM_NCDESTROY) {
        return result;
    }
    // Unhandled messages go on to the previous procedure, and so does the last, before the window is let go.
    const LRESULT previous = CallWindowProcW(object->previousProc, window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        object->Unbind();
        object->FinalMessage(window);
    }
    return wasHandled ? result : previous;
}

INT_PTR BoundWindow::RouteDialog(DLGPROC self, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (BoundWindow* object = Find(window, reinterpret_cast<WNDPROC>(self))) {
        LRESULT result = 0;
        (void)object->Dispatch(MSG{window, message, wParam, lParam, 0, {}}, result);
        if (message == WM_NCDESTROY) {
            object->Unbind();
            object->FinalMessage(window);
        }
    }
    return FALSE;
}
