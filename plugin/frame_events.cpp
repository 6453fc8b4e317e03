// Frame events, in the order the host's bits are documented: attach, store ShowBar at the close, follow the
// host's show and hide reports, and let the BarState go with the close.
#include "plugin/frame_events.h"

#include "bar/host_interface.h"
#include "plugin/bar_registry.h"

void HandleFrameEvents(HWND frame, UINT events) noexcept {
    if ((events & kEventIgnoreMask) != 0) {
        return;
    }
    BarStateHold hold(frame);
    BarState* state = hold.get();
    if (state == nullptr) {
        return;  // no memory for it, or the frame's close is under way
    }

    if ((events & kEventAttach) != 0 && state->toolbarId < 0 && !state->attaching) {
        state->attaching = true;
        const bool open = AttachBar(*state, frame);
        state->attaching = false;
        if (!open) {
            return;  // the close event came meanwhile and did the rest
        }
    }

    const bool closing = (events & kEventClose) != 0;
    if (closing) {
        StoreBarSetting(*state->settings, kShowBar, state->visible ? 1 : 0);
    }

    if ((events & kEventToolbarShown) != 0) {
        state->visible = !state->visible;
        if (state->visible) {
            (void)ShowWindow(state->bar.hwnd, SW_SHOW);
        }
    }

    if (closing) {
        state->bar.FrameClosed();
        hold.CloseAtEnd();
    }
}
