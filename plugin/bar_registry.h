// The bar registry: frame window to BarState, guarded by an unnamed mutex that is never held while the host,
// the settings store or the bar's windows are called.
#pragma once

#include "bar/bar_state.h"

#include <windows.h>

#include <cstdint>

class IniDocument;

// Creates the registry lock and records the settings store that every new BarState points to; false when the
// system refused the lock (the registry then works unguarded).
bool StartBarRegistry(IniDocument* settings);
// Closes the registry lock. Unless the process is ending, the open bars' windows are let go first, so that
// none of their messages reaches this module once it is unmapped.
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
    explicit BarStateHold(HWND frame) noexcept;
    // For a message the host's loop offers: held only when the frame's bar is shown and the message is a
    // search key, in the one lookup that every other message costs too.
    BarStateHold(HWND frame, const MSG& message) noexcept;
    ~BarStateHold();
    BarStateHold(const BarStateHold&) = delete;
    BarStateHold& operator=(const BarStateHold&) = delete;

    BarState* get() const noexcept { return state; }
    // The frame closes: its BarState goes, with its bar's window, when the last hold does.
    void CloseAtEnd() noexcept { close = true; }

  private:
    void Take(BarState* found) noexcept;

    HWND frame;
    BarState* state = nullptr;
    bool close = false;
};
