// Window-support layer: ties window objects to their windows from the very first message, routes every
// message to one dispatch function per class, subclasses controls and registers the container window class
// once.
#pragma once

#include <windows.h>

#include "base/heap_object.h"

#include <atomic>

// Module start: the instance that holds the dialog templates and owns the window classes; creates the lock
// that guards the creation list and class registration.
void InitWindowSupport(HINSTANCE instance);
// Module stop: deletes the lock. Objects must not be created or bound afterwards.
void TermWindowSupport();
// Unregisters the window classes of ours that no window uses any more (the system refuses the others, which
// then stay registered with windows whose procedure is no longer ours); the layer forgets them all.
void UnregisterWindowClasses();
// The instance given to InitWindowSupport, or null.
HINSTANCE WindowSupportInstance();

struct WindowBinding;

// What every window object shares: its window handle, its binding and the per-dispatch state.
class BoundWindow {
  public:
    BoundWindow() noexcept;
    BoundWindow(const BoundWindow&) = delete;
    BoundWindow& operator=(const BoundWindow&) = delete;

    // The class's one dispatch: true when the message was handled, with `result` set. Only map 0 exists.
    // Unhandled by default: the message gets its window's or the dialog manager's default treatment.
    virtual BOOL HandleMessage(HWND window,
                               UINT message,
                               WPARAM wParam,
                               LPARAM lParam,
                               LRESULT& result,
                               DWORD mapId);
    // Runs after the window's last message, with the window already forgotten.
    virtual void FinalMessage(HWND window);

    HWND hwnd = nullptr;

  protected:
    // Unbinds without destroying the window; no message reaches this object afterwards. Never destroyed
    // through a pointer to this class.
    ~BoundWindow();

    // Runs one handler with the handled flag set; the message counts as handled unless the handler cleared
    // it.
    template <typename Handler>
    BOOL Handle(LRESULT& result, Handler&& handler) {
        handled = TRUE;
        result = handler();
        return handled;
    }

    // Leaves the window bound to nothing: a subclassed window gets its previous procedure back when ours is
    // still the one in place, and its messages stop reaching this object. The binding memory is kept.
    void Unbind() noexcept;

    // Announces this object for the next window created on this thread, whose messages will come through
    // `procedure`; false with ERROR_OUTOFMEMORY when the binding memory cannot be had, and false when the
    // object is still bound or the layer is not initialised.
    bool AnnounceCreation(WNDPROC procedure, bool dialog) noexcept;
    // Takes the announcement back if no window claimed it.
    void WithdrawCreation() noexcept;
    // After the creation call: the window when this object is bound to it; otherwise null with
    // ERROR_OUTOFMEMORY, the window destroyed.
    HWND KeepIfBound(HWND window) noexcept;
    // Binds an existing window and puts `procedure` in as its window procedure; false, with nothing changed,
    // when the memory cannot be had or the window refuses the new procedure.
    bool Subclass(HWND window, WNDPROC procedure) noexcept;

    // The common bodies of the window and dialog procedures.
    static LRESULT RouteWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    static INT_PTR RouteDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    const MSG* currentMessage = nullptr;    // the message being dispatched, while a dispatch runs
    WNDPROC previousProc = DefWindowProcW;  // where unhandled messages go; unused by dialogs
    BOOL handled = TRUE;

  private:
    static BoundWindow* FindOrClaim(HWND window) noexcept;
    bool EnsureBinding() noexcept;
    bool Attach(HWND window) noexcept;
    void Detach() noexcept;
    LRESULT Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam, BOOL& wasHandled) noexcept;

    HeapPtr<WindowBinding> binding;
    WNDPROC ownProc =
        nullptr;  // the procedure that routes to this object (for dialogs, the dialog procedure)
    bool isDialog = false;
    bool subclassed = false;  // the window had a procedure of its own before ours
};

// Attributes and the registered atom of one window class of ours.
struct WindowClassRecord {
    std::atomic<ATOM> atom;
    wchar_t name[32];
    WindowClassRecord* next;  // the layer forgets every registration at teardown
};

// Registers the class once per process, checking again under the layer's lock; takes the atom of a class of
// the same name that this instance registered before. 0 when registration fails.
ATOM RegisterWindowClassOnce(WindowClassRecord& record, WNDPROC procedure, UINT classStyle) noexcept;

// A window object that either creates a window of its own class or subclasses an existing control.
// T provides kClassStyle, kWindowStyle and kWindowExStyle.
template <typename T>
class WindowObject : public BoundWindow {
  public:
    // Creates the window with T's class and style at `rect` (in the parent's coordinates). Null when the
    // binding memory (last error ERROR_OUTOFMEMORY), the class or the window cannot be had.
    HWND Create(HWND parent, const RECT& rect, DWORD exStyle, UINT_PTR controlId) noexcept {
        const ATOM atom = RegisterWindowClassOnce(classRecord, &StartWindowProc, T::kClassStyle);
        if (atom == 0 || !AnnounceCreation(&StartWindowProc, false)) {
            return nullptr;
        }
        HWND window = CreateWindowExW(exStyle, MAKEINTATOM(atom), nullptr, T::kWindowStyle, rect.left,
                                      rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                                      reinterpret_cast<HMENU>(controlId), WindowSupportInstance(), nullptr);
        WithdrawCreation();
        return KeepIfBound(window);
    }

    // Routes an existing control's messages through this object; unhandled ones go on to its own procedure.
    bool SubclassWindow(HWND window) noexcept { return Subclass(window, &StartWindowProc); }

  protected:
    static LRESULT CALLBACK StartWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return RouteWindowMessage(window, message, wParam, lParam);
    }

  private:
    static inline WindowClassRecord classRecord{};
};

// A modeless dialog made from a template of the layer's instance.
template <typename T>
class DialogObject : public BoundWindow {
  public:
    // Creates the dialog (hidden unless the template says otherwise). Null when the binding memory (last
    // error ERROR_OUTOFMEMORY) or the dialog cannot be had.
    HWND Create(HWND parent, UINT templateId) noexcept {
        if (!AnnounceCreation(reinterpret_cast<WNDPROC>(&StartDialogProc), true)) {
            return nullptr;
        }
        HWND window = CreateDialogParamW(WindowSupportInstance(), MAKEINTRESOURCEW(templateId), parent,
                                         &StartDialogProc, 0);
        WithdrawCreation();
        return KeepIfBound(window);
    }

  protected:
    static INT_PTR CALLBACK StartDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return RouteDialogMessage(window, message, wParam, lParam);
    }
};
