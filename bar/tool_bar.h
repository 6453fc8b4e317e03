// The search bar of one frame: container window, search field and regular-expression check box.
#pragma once

#include <windows.h>

class IniDocument;
struct BarState;

class CToolBar {
public:
    CToolBar();
    ~CToolBar();
    CToolBar(const CToolBar&) = delete;
    CToolBar& operator=(const CToolBar&) = delete;

    // 1 when the bar has translated and dispatched or consumed the message, else 0.
    BOOL PreTranslate(MSG* msg);

    HWND hwnd = nullptr;  // the container window; null until built
};

// Builds the frame's bar, registers it with the host and shows it when ShowBar asks for it.
void AttachBar(BarState& state, HWND frame);
