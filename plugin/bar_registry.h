// Per-frame state and the registry that maps each frame window to it.
#pragma once

#include "bar/tool_bar.h"

#include <windows.h>

#include <cstdint>

class IniDocument;

struct BarState {
    explicit BarState(IniDocument* settings) : settings(settings) {}

    IniDocument* settings;  // not owned: the module's one settings store
    int32_t toolbarId = -1;  // below 0 until the host has taken the bar
    CToolBar bar;
    bool visible = false;  // follows the host's show and hide reports
};

// Creates the registry lock and records the settings store that every new BarState points to; false when the
// system refused the lock (the registry then works unguarded).
bool StartBarRegistry(IniDocument* settings);
void StopBarRegistry();

// The frame's BarState or null; a lookup leaves an empty entry behind, as the next event fills it.
BarState* LookupBarState(HWND frame);

// The work behind OnEvents.
void HandleFrameEvents(HWND frame, UINT events);

// Whether the registry holds an entry for the frame, with or without a BarState.
bool HasRegistryEntry(HWND frame);
