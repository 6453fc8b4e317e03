// The work behind OnEvents: a frame's BarState made at its first event, its bar attached, its visibility
// followed, and ShowBar stored when it closes.
#pragma once

#include <windows.h>

void HandleFrameEvents(HWND frame, UINT events) noexcept;
