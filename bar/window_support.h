// Window-support layer: binds window objects to their windows from the first message on, gives each class one
// dispatch, subclasses the template's controls and registers our window classes once per process.
#pragma once

#include <windows.h>

#include "base/heap_object.h"

// Module start: the instance that holds the dialog templates and owns our window classes; makes the lock of
// the creation list and of class registration.
void StartWindowSupport(HINSTANCE instance);
// Module stop: deletes that lock. No window is created afterwards.
void StopWindowSupport();

struct WindowBinding;

// What every window object shares: its window, its binding and the state of the dispatch under way.
class BoundWindow {
  public:
    BoundWindow(const BoundWindow&) = delete;
    BoundWindow& operator=(const BoundWindow&) = delete;

    // The class's one dispatch: true when the message was handled, with `result` set. Only map 0 exists.
    virtual BOOL HandleMessage(HWND window,
                               UINT message,
                               WPARAM wParam,
                               LPARAM lParam,
                               LRESULT& result,
                               DWORD mapId);
    // Runs after the window's last message, with the window already forgotten.
    virtual void FinalMessage(HWND window);

    // Lets the window go without destroying it: a control gets its previous procedure back while ours is on
    // top, and no later message of the window reaches this object.
    void Unbind() noexcept;

    HWND hwnd = nullptr;

  protected:
    // Out of line, where the binding's type is known. Never destroyed through a pointer to this class.
    BoundWindow() noexcept;
    ~BoundWindow();

    // Runs one handler with the handled flag set: the message is handled unless the handler cleared it.
    template <typename Handler>
    BOOL Handle(LRESULT& result, Handler&& handler) {
        handled = TRUE;
        result = handler();
        return handled;
    }

    // A window of the class whose procedure is `procedure`, bound to this object from its first message. Null
    // when the binding memory (last error ERROR_OUTOFMEMORY), the class or the window cannot be had.
    HWND CreateBound(WNDPROC procedure,
                     UINT classStyle,
                     DWORD style,
                     DWORD exStyle,
                     const RECT& rect,
                     HWND parent,
                     UINT_PTR controlId) noexcept;
    // The same for a modeless dialog from a template of the layer's instance.
    HWND CreateBoundDialog(DLGPROC procedure, HWND parent, UINT templateId) noexcept;
    // Binds an existing control and puts `procedure` in as its window procedure; false, with nothing changed,
    // when the binding memory cannot be had or the control refuses the procedure.
    bool Subclass(HWND window, WNDPROC procedure) noexcept;

    // The bodies of the start procedures; `self` is the procedure that was called.
    static LRESULT RouteWindow(WNDPROC self, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR RouteDialog(DLGPROC self, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    const MSG* currentMessage = nullptr;    // the message being dispatched, while a dispatch runs
    WNDPROC previousProc = DefWindowProcW;  // where unhandled messages go; unused by dialogs
    BOOL handled = TRUE;

  private:
    static BoundWindow* Find(HWND window, WNDPROC procedure) noexcept;
    bool MakeBinding(WNDPROC procedure) noexcept;
    BOOL Dispatch(const MSG& msg, LRESULT& result) noexcept;

    HeapPtr<WindowBinding> binding;
};

// A window object that creates a window of its own class (T gives kClassStyle and kWindowStyle) or
// subclasses a control of our template.
template <typename T>
class WindowObject : public BoundWindow {
  public:
    // Creates the window at `rect`, in the parent's coordinates; null as for CreateBound.
    HWND Create(HWND parent, const RECT& rect, DWORD exStyle, UINT_PTR controlId) noexcept {
        return CreateBound(&StartWindowProc, T::kClassStyle, T::kWindowStyle, exStyle, rect, parent,
                           controlId);
    }

    // Routes the control's messages through this object; unhandled ones go on to its own procedure.
    bool SubclassWindow(HWND window) noexcept { return Subclass(window, &StartWindowProc); }

  private:
    static LRESULT CALLBACK StartWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return RouteWindow(&StartWindowProc, window, message, wParam, lParam);
    }
};

// A modeless dialog whose dispatch only watches: every message gets the dialog manager's default treatment.
template <typename T>
class DialogObject : public BoundWindow {
  public:
    // Creates the dialog, hidden unless the template says otherwise; null as for CreateBound.
    HWND Create(HWND parent, UINT templateId) noexcept {
        return CreateBoundDialog(&StartDialogProc, parent, templateId);
    }

  private:
    static INT_PTR CALLBACK StartDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return RouteDialog(&StartDialogProc, window, message, wParam, lParam);
    }
};
