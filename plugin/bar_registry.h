// Per-frame state and the registry that maps each frame window to it.
#pragma once

#include "bar/tool_bar.h"

#include <windows.h>

#include <cstdint>

class IniDocument;

struct BarState {
    explicit BarState(IniDocument* settings) : settings(settings) {}

    IniDocument* settings;   // not owned: the module's one settings store
    int32_t toolbarId = -1;  // below 0 until the host has taken the bar
    CToolBar bar;
    bool visible = false;  // follows the host's show and hide reports

    // Messages sent to the host may come back as nested events for the same frame.
    int holds = 0;           // calls that use this BarState now; guarded by the registry lock
    bool attaching = false;  // AttachBar runs: a nested attach does nothing
    bool closing = false;    // the close event came while a call held it; completes at the last release
    // An attach found no memory for the frame's BarState or could make no bar: until a bar is registered,
    // the frame's visibility is unknown, and its close stores no ShowBar rather than a 0 the user never chose.
    bool starved = false;
};

// Creates the registry lock and records the settings store that every new BarState points to; false when the
// system refused the lock (the registry then works unguarded).
bool StartBarRegistry(IniDocument* settings);
// Closes the registry lock. When the module is freed while the process goes on, the bars of the frames still
// open are made inert first, so that no message to their windows reaches this module any more.
void StopBarRegistry(bool processEnding);

// A call's hold on a frame's BarState: while any call holds it, it is not freed, and a close that arrives
// meanwhile completes when the last hold goes. A closing frame is found as having none.
class BarStateHold {
  public:
    // Finds the frame's BarState; with `create`, a frame without one gets a new BarState. Null when there is
    // none, the frame is closing, or memory ran out (nothing is then left behind).
    BarStateHold(HWND frame, bool create);
    ~BarStateHold();
    BarStateHold(const BarStateHold&) = delete;
    BarStateHold& operator=(const BarStateHold&) = delete;

    BarState* get() const noexcept { return state; }

  private:
    HWND frame;
    BarState* state = nullptr;
};

// The work behind OnEvents.
void HandleFrameEvents(HWND frame, UINT events);
