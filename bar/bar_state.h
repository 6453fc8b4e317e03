// The per-frame record: what the bar reads and writes, and the bookkeeping of the calls that use it.
#pragma once

#include "bar/tool_bar.h"

#include <cstdint>

class IniDocument;

struct BarState {
    explicit BarState(IniDocument* settings) noexcept : settings(settings) {}

    IniDocument* settings;   // not owned: the module's one settings store
    int32_t toolbarId = -1;  // below 0 until the host has taken the bar
    CToolBar bar;
    bool visible = false;  // follows the host's show and hide reports

    // Messages sent to the host may come back as nested events for the same frame.
    int holds = 0;           // calls that use this BarState now; guarded by the registry lock
    bool attaching = false;  // AttachBar runs: a nested attach does nothing
    bool closing = false;    // the close event came: the BarState goes with its last hold
};
