// The bar's search edit box: a subclassed EDIT control that selects its whole text when it gets the focus.
#pragma once

#include "bar/window_support.h"

#include <windows.h>

class CEditTool : public WindowObject<CEditTool> {
  public:
    BOOL HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result, DWORD mapId)
        override;

  private:
    LRESULT OnSetFocus();
};
