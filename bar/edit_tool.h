// The bar's search edit box: a subclassed EDIT control that selects its whole text when it gets the focus.
#pragma once

#include "bar/window_support.h"

#include <windows.h>

class CEditTool : public WindowObject<CEditTool> {
  public:
    static constexpr UINT kClassStyle = 0;
    static constexpr DWORD kWindowStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    static constexpr DWORD kWindowExStyle = 0;

    CEditTool() = default;
    ~CEditTool();

    BOOL HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result, DWORD mapId)
        override;

    using BoundWindow::Unbind;

  private:
    LRESULT OnSetFocus();
};
