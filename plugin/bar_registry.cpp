// The bar registry: frame window to BarState, guarded by an unnamed mutex that is never held while the host,
// the settings store or the bar's windows are called.
#include "plugin/bar_registry.h"

#include "base/unique_handle.h"
#include "plugin/host_interface.h"
#include "settings/ini_document.h"

#include <map>
#include <memory>
#include <new>

namespace {

// Frames are ordered by their handle's value taken as an unsigned 32-bit number; handles of a 64-bit process
// that agree in those bits are told apart by the rest.
struct FrameOrder {
    bool operator()(HWND a, HWND b) const noexcept {
        const auto low = [](HWND h) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h)); };
        if (low(a) != low(b)) {
            return low(a) < low(b);
        }
        return reinterpret_cast<uintptr_t>(a) < reinterpret_cast<uintptr_t>(b);
    }
};

class BarRegistry {
  public:
    BarRegistry() = default;
    // BarStates left at unload are abandoned, not destroyed: their windows may still be alive.
    ~BarRegistry() {
        for (auto& entry : entries) {
            (void)entry.second.release();
        }
    }

    std::map<HWND, std::unique_ptr<BarState>, FrameOrder> entries;
    UniqueMutex lock;
    IniDocument* settings = nullptr;  // the module's store, handed over at start
    // A BarState could not be had for some event: a frame created after that may have missed its attach.
    bool creationFailed = false;
};

BarRegistry registry;

}  // namespace

bool StartBarRegistry(IniDocument* settings) {
    registry.settings = settings;
    registry.lock = MakeMutex();
    return static_cast<bool>(registry.lock);
}

void StopBarRegistry(bool processEnding) {
    if (!processEnding) {
        // The windows stay with the host, which destroys them with their frames after this module is gone.
        MutexLock guard(registry.lock.get());
        for (auto& entry : registry.entries) {
            entry.second->bar.ReleaseWindows();
        }
    }
    registry.lock.reset();
}

BarStateView ViewBarState(HWND frame) noexcept {
    BarStateView view;
    MutexLock guard(registry.lock.get());
    const auto entry = registry.entries.find(frame);
    if (entry != registry.entries.end() && !entry->second->closing) {
        view.found = true;
        view.toolbarId = entry->second->toolbarId;
        view.visible = entry->second->visible;
    }
    return view;
}

BarStateHold::BarStateHold(HWND frame) : frame(frame) {
    MutexLock guard(registry.lock.get());
    auto entry = registry.entries.find(frame);
    if (entry == registry.entries.end()) {
        try {
            auto created = std::make_unique<BarState>(registry.settings);
            created->starved = registry.creationFailed;
            entry = registry.entries.emplace(frame, std::move(created)).first;
        } catch (const std::bad_alloc&) {
            registry.creationFailed = true;
            return;
        }
    }
    Take(entry->second.get());
}

BarStateHold::BarStateHold(HWND frame, const MSG& message) : frame(frame) {
    MutexLock guard(registry.lock.get());
    const auto entry = registry.entries.find(frame);
    if (entry != registry.entries.end() && entry->second->visible && entry->second->bar.Takes(message)) {
        Take(entry->second.get());
    }
}

void BarStateHold::Take(BarState* found) noexcept {
    if (!found->closing) {
        state = found;
        ++state->holds;
    }
}

BarStateHold::~BarStateHold() {
    if (state == nullptr) {
        return;
    }
    {
        MutexLock guard(registry.lock.get());
        state->closing = state->closing || close;
        if (--state->holds > 0 || !state->closing) {
            return;
        }
        // Held on while the window goes, so that a nested call cannot complete the close a second time.
        ++state->holds;
    }
    // A container that outlived its frame would receive messages after its object is gone; destroying it
    // here also stores the check box state. Done outside the lock: it calls the settings store.
    if (state->bar.hwnd != nullptr && IsWindow(state->bar.hwnd)) {
        (void)DestroyWindow(state->bar.hwnd);
    }
    MutexLock guard(registry.lock.get());
    registry.entries.erase(frame);
}

void HandleFrameEvents(HWND frame, UINT events) {
    if ((events & kEventIgnoreMask) != 0) {
        return;
    }

    BarStateHold hold(frame);
    BarState* state = hold.get();
    if (state == nullptr) {
        return;  // out of memory, or the frame's close is under way
    }
    // Even when storing ShowBar or an attach in the same call runs out of memory: a BarState left open would
    // take the next frame that gets this handle for its own.
    if ((events & kEventClose) != 0) {
        hold.CloseAtRelease();
    }

    if ((events & kEventAttach) != 0 && state->toolbarId < 0 && !state->attaching) {
        struct AttachingFlag {
            BarState& attached;
            ~AttachingFlag() {
                attached.attaching = false;
                // No bar could be made: no memory for its windows, or for the settings' names.
                attached.starved = attached.starved || attached.bar.hwnd == nullptr;
            }
        } attaching{*state};
        state->attaching = true;
        AttachBar(*state, frame);
    }

    if ((events & kEventClose) != 0 && !(state->starved && state->toolbarId < 0)) {
        IniDocument& settings = *state->settings;
        IniEntry* entry = settings.SetValue(settings.currentSection, L"ShowBar", state->visible ? 1 : 0);
        if (entry != nullptr) {
            entry->format.Clear();
        }
    }

    if ((events & kEventToolbarShown) != 0) {
        state->visible = !state->visible;
        if (state->visible) {
            (void)ShowWindow(state->bar.hwnd, SW_SHOW);
        }
    }
}
