// Binding by window property: the property holds the object's binding record, so a control's own
// GWLP_USERDATA stays untouched, and the same code serves every pointer width.
#include "bar/window_support.h"

#include "base/unique_handle.h"

#include <cstdint>
#include <cwchar>

// Per-object binding memory: what the window property points at, and the object's place in the creation list.
struct WindowBinding {
    BoundWindow* owner = nullptr;
    DWORD threadId = 0;
    WindowBinding* nextCreation = nullptr;
    bool announced = false;
};

namespace {

HINSTANCE moduleInstance = nullptr;
CRITICAL_SECTION layerLock;
bool lockReady = false;
ATOM bindingProperty = 0;
WindowBinding* creationList = nullptr;           // guarded by layerLock
WindowClassRecord* registeredClasses = nullptr;  // guarded by layerLock

void* PropertyKey() {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(bindingProperty));
}

WindowBinding* BindingOf(HWND window) {
    if (bindingProperty == 0) {
        return nullptr;
    }
    return static_cast<WindowBinding*>(GetPropW(window, static_cast<LPCWSTR>(PropertyKey())));
}

// Forgets every registration, so that a class is registered afresh when needed; with `unregister` the system
// is asked to drop each class too. Runs under layerLock.
void ForgetClasses(bool unregister) {
    for (WindowClassRecord* record = registeredClasses; record != nullptr;) {
        WindowClassRecord* next = record->next;
        if (unregister) {
            (void)UnregisterClassW(record->name, moduleInstance);
        }
        record->atom.store(0, std::memory_order_relaxed);
        record->next = nullptr;
        record = next;
    }
    registeredClasses = nullptr;
}

}  // namespace

void InitWindowSupport(HINSTANCE instance) {
    moduleInstance = instance;
    InitializeCriticalSection(&layerLock);
    lockReady = true;
    // Each copy of this code in a process gets its own property name, so a window bound by one copy never looks
    // bound to another.
    wchar_t name[40] = {};
    (void)_snwprintf(name, 39, L"FindRailBinding:%p", static_cast<void*>(&bindingProperty));
    bindingProperty = GlobalAddAtomW(name);
}

void TermWindowSupport() {
    if (!lockReady) {
        return;
    }
    {
        CriticalSectionLock guard(layerLock);
        for (WindowBinding* entry = creationList; entry != nullptr;) {
            WindowBinding* next = entry->nextCreation;
            entry->nextCreation = nullptr;
            entry->announced = false;
            entry = next;
        }
        creationList = nullptr;
        ForgetClasses(false);
    }
    lockReady = false;
    DeleteCriticalSection(&layerLock);
    if (bindingProperty != 0) {
        (void)GlobalDeleteAtom(bindingProperty);
        bindingProperty = 0;
    }
    moduleInstance = nullptr;
}

void UnregisterWindowClasses() {
    if (!lockReady) {
        return;
    }
    CriticalSectionLock guard(layerLock);
    ForgetClasses(true);
}

HINSTANCE WindowSupportInstance() {
    return moduleInstance;
}

ATOM RegisterWindowClassOnce(WindowClassRecord& record, WNDPROC procedure, UINT classStyle) noexcept {
    ATOM atom = record.atom.load(std::memory_order_acquire);
    if (atom != 0 || !lockReady) {
        return atom;
    }
    CriticalSectionLock guard(layerLock);
    // Another thread may have registered while this one waited.
    atom = record.atom.load(std::memory_order_relaxed);
    if (atom != 0) {
        return atom;
    }
    // "ATL:" and the start procedure's address in upper-case hex: eight digits in the 32-bit DLL.
    (void)_snwprintf(record.name, 31, L"ATL:%p", reinterpret_cast<void*>(procedure));
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    atom = static_cast<ATOM>(GetClassInfoExW(moduleInstance, record.name, &existing));
    if (atom == 0) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.style = classStyle;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = moduleInstance;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
        windowClass.lpszClassName = record.name;
        atom = RegisterClassExW(&windowClass);
    }
    if (atom != 0) {
        record.next = registeredClasses;
        registeredClasses = &record;
        record.atom.store(atom, std::memory_order_release);
    }
    return atom;
}

BoundWindow::BoundWindow() noexcept = default;

BoundWindow::~BoundWindow() {
    Unbind();
}

BOOL BoundWindow::HandleMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&, DWORD) {
    return FALSE;
}

void BoundWindow::FinalMessage(HWND) {}

bool BoundWindow::EnsureBinding() noexcept {
    if (!binding) {
        binding = MakeHeap<WindowBinding>();
        if (!binding) {
            SetLastError(ERROR_OUTOFMEMORY);
            return false;
        }
        binding->owner = this;
    }
    return true;
}

bool BoundWindow::AnnounceCreation(WNDPROC procedure, bool dialog) noexcept {
    if (!lockReady || bindingProperty == 0) {
        SetLastError(ERROR_NOT_READY);
        return false;
    }
    if (hwnd != nullptr) {
        SetLastError(ERROR_ALREADY_INITIALIZED);
        return false;
    }
    if (!EnsureBinding()) {
        return false;
    }
    ownProc = procedure;
    isDialog = dialog;
    subclassed = false;
    previousProc = DefWindowProcW;
    CriticalSectionLock guard(layerLock);
    if (!binding->announced) {
        binding->threadId = GetCurrentThreadId();
        binding->nextCreation = creationList;
        creationList = binding.get();
        binding->announced = true;
    }
    return true;
}

void BoundWindow::WithdrawCreation() noexcept {
    if (!binding || !binding->announced || !lockReady) {
        return;
    }
    CriticalSectionLock guard(layerLock);
    for (WindowBinding** link = &creationList; *link != nullptr; link = &(*link)->nextCreation) {
        if (*link == binding.get()) {
            *link = binding->nextCreation;
            break;
        }
    }
    binding->nextCreation = nullptr;
    binding->announced = false;
}

bool BoundWindow::Subclass(HWND window, WNDPROC procedure) noexcept {
    if (bindingProperty == 0 || hwnd != nullptr || window == nullptr || !EnsureBinding()) {
        return false;
    }
    // The property goes on first, so that a message arriving through the new procedure finds its object.
    if (!SetPropW(window, static_cast<LPCWSTR>(PropertyKey()), binding.get())) {
        return false;
    }
    ownProc = procedure;
    isDialog = false;
    const LONG_PTR previous = SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
    if (previous == 0) {
        (void)RemovePropW(window, static_cast<LPCWSTR>(PropertyKey()));
        return false;
    }
    previousProc = reinterpret_cast<WNDPROC>(previous);
    subclassed = true;
    hwnd = window;
    return true;
}

BoundWindow* BoundWindow::FindOrClaim(HWND window) noexcept {
    if (WindowBinding* bound = BindingOf(window)) {
        return bound->owner;
    }
    if (!lockReady) {
        return nullptr;
    }
    // The window's first message: the object announced on this thread takes it.
    WindowBinding* claimed = nullptr;
    {
        CriticalSectionLock guard(layerLock);
        const DWORD thread = GetCurrentThreadId();
        for (WindowBinding** link = &creationList; *link != nullptr; link = &(*link)->nextCreation) {
            if ((*link)->threadId == thread) {
                claimed = *link;
                *link = claimed->nextCreation;
                claimed->nextCreation = nullptr;
                claimed->announced = false;
                break;
            }
        }
    }
    if (claimed == nullptr || !claimed->owner->Attach(window)) {
        return nullptr;
    }
    return claimed->owner;
}

bool BoundWindow::Attach(HWND window) noexcept {
    // Without the property the object would never hear of the window's end: it stays unbound.
    if (!SetPropW(window, static_cast<LPCWSTR>(PropertyKey()), binding.get())) {
        return false;
    }
    hwnd = window;
    return true;
}

HWND BoundWindow::KeepIfBound(HWND window) noexcept {
    if (window == nullptr || window == hwnd) {
        return window;
    }
    // The window's first message found no room for the binding: it goes, as one never made.
    (void)DestroyWindow(window);
    SetLastError(ERROR_OUTOFMEMORY);
    return nullptr;
}

void BoundWindow::Detach() noexcept {
    if (hwnd != nullptr && bindingProperty != 0) {
        (void)RemovePropW(hwnd, static_cast<LPCWSTR>(PropertyKey()));
    }
    hwnd = nullptr;
    subclassed = false;
    previousProc = DefWindowProcW;
}

void BoundWindow::Unbind() noexcept {
    WithdrawCreation();
    if (hwnd == nullptr) {
        return;
    }
    if (isDialog) {
        if (GetWindowLongPtrW(hwnd, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(ownProc)) {
            (void)SetWindowLongPtrW(hwnd, DWLP_DLGPROC, 0);
        }
    } else if (GetWindowLongPtrW(hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(ownProc)) {
        // For a window of our own class the previous procedure is DefWindowProcW, which then gets everything.
        (void)SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc));
    }
    Detach();
}

LRESULT BoundWindow::Dispatch(HWND window,
                              UINT message,
                              WPARAM wParam,
                              LPARAM lParam,
                              BOOL& wasHandled) noexcept {
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    const MSG* outerMessage = currentMessage;
    const BOOL outerHandled = handled;
    currentMessage = &msg;
    LRESULT result = 0;
    wasHandled = HandleMessage(window, message, wParam, lParam, result, 0);
    handled = outerHandled;
    currentMessage = outerMessage;
    return result;
}

LRESULT BoundWindow::RouteWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    BoundWindow* object = FindOrClaim(window);
    if (object == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    BOOL wasHandled = FALSE;
    LRESULT result = object->Dispatch(window, message, wParam, lParam, wasHandled);
    if (message != WM_NCDESTROY) {
        return wasHandled ? result : CallWindowProcW(object->previousProc, window, message, wParam, lParam);
    }
    // The last message: the previous procedure cleans up first, then the window is let go.
    const LRESULT last = CallWindowProcW(object->previousProc, window, message, wParam, lParam);
    if (!wasHandled) {
        result = last;
    }
    if (object->subclassed &&
        GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(object->ownProc)) {
        (void)SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(object->previousProc));
    }
    object->Detach();
    object->FinalMessage(window);
    return result;
}

INT_PTR BoundWindow::RouteDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    BoundWindow* object = FindOrClaim(window);
    if (object == nullptr) {
        return FALSE;
    }
    BOOL wasHandled = FALSE;
    const LRESULT result = object->Dispatch(window, message, wParam, lParam, wasHandled);
    if (message == WM_NCDESTROY) {
        // The dialog manager does its own clean-up once this returns.
        object->Detach();
        object->FinalMessage(window);
        return FALSE;
    }
    if (!wasHandled) {
        return FALSE;
    }
    switch (message) {
        // These answer through the dialog procedure's result itself.
        case WM_INITDIALOG:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return static_cast<INT_PTR>(result);
        default:
            (void)SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
            return TRUE;
    }
}
