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
    bool closing = false;    // the close event came: the BarState goes with its last hold
    // Memory ran out for a BarState at an earlier event, or for this frame's bar: until a bar is registered,
    // the frame's visibility is unknown, and its close stores no ShowBar rather than a 0 the user never
    // chose.
    bool starved = false;
};

// Creates the registry lock and records the settings store that every new BarState points to; false when the
// system refused the lock (the registry then works unguarded).
bool StartBarRegistry(IniDocument* settings);
// Closes the registry lock. When the module is freed while the process goes on, the bars of the frames still
// open are made inert first, so that no message to their windows reaches this module any more.
void StopBarRegistry(bool processEnding);

// What the command and its check mark read of a frame's BarState, in one lookup; `found` is false for a frame
// without one or one that is closing.
struct BarStateView {
    bool found = false;
    int32_t toolbarId = -1;
    bool visible = false;
};
BarStateView ViewBarState(HWND frame) noexcept;

// A call's hold on a frame's BarState: while any call holds it, it is not freed, and a close completes when
// the last hold goes. A closing frame is found as having none. Lookups allocate nothing and leave nothing.
class BarStateHold {
  public:
    // For the frame's events: finds its BarState, or creates one. Null when the frame is closing or memory
    // ran out (nothing is then left behind).
    explicit BarStateHold(HWND frame);
    // For a message the host's loop offers: held only when the frame's bar is shown and takes the message, in
    // the one lookup that every other message costs too.
    BarStateHold(HWND frame, const MSG& message);
    ~BarStateHold();
    BarStateHold(const BarStateHold&) = delete;
    BarStateHold& operator=(const BarStateHold&) = delete;

    BarState* get() const noexcept { return state; }
    // The frame closes: its BarState goes, with its bar's window, when the last hold does.
    void CloseAtRelease() noexcept { close = true; }

  private:
    void Take(BarState* found) noexcept;

    HWND frame;
    BarState* state = nullptr;
    bool close = false;
};

// The work behind OnEvents.
void HandleFrameEvents(HWND frame, UINT events);
