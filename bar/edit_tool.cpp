// Focus handling of the search edit box.
#include "bar/edit_tool.h"

BOOL CEditTool::HandleMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT& result, DWORD mapId) {
    if (mapId != 0) {
        return FALSE;
    }
    switch (message) {
        case WM_SETFOCUS:
            return Handle(result, [this] { return OnSetFocus(); });
        default:
            return FALSE;
    }
}

LRESULT CEditTool::OnSetFocus() {
    // Posted, so that the edit box's own focus handling, which runs after this, does not undo the selection.
    (void)PostMessageW(hwnd, EM_SETSEL, 0, -1);
    handled = FALSE;
    return 0;
}
