// Placeholder bar: no window yet.
#include "bar/tool_bar.h"

CToolBar::CToolBar() = default;
CToolBar::~CToolBar() = default;

BOOL CToolBar::PreTranslate(MSG*) {
    return 0;
}

void AttachBar(BarState&, HWND) {}
