// The bar registry: frame window to BarState, guarded by an unnamed mutex that is never held while the host,
// the settings store or the bar's windows are called.
#include "plugin/bar_registry.h"

#include "handles/unique_handle.h"
#include "plugin/host_interface.h"
#include "settings/ini_document.h"

#include <map>
#include <memory>
#include <new>

namespace {

// Frames are ordered by their handle's 32-bit value, the part of a window handle that is significant.
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
};

BarRegistry registry;

// Frames whose events found no memory for a BarState, guarded by the registry lock; a few are enough, the
// oldest is forgotten first.
constexpr size_t kStarvedFrames = 16;
HWND starvedFrames[kStarvedFrames];
size_t nextStarved = 0;

// Remembers that the frame went without a BarState, unless `done`.
struct StarvedUnlessDone {
    HWND frame;
    bool done = false;
    ~StarvedUnlessDone() {
        if (!done) {
            starvedFrames[nextStarved] = frame;
            nextStarved = (nextStarved + 1) % kStarvedFrames;
        }
    }
};

// Whether the frame went without a BarState before; it is forgotten either way.
bool TakeStarved(HWND frame) {
    bool found = false;
    for (HWND& starved : starvedFrames) {
        if (starved == frame) {
            starved = nullptr;
            found = true;
        }
    }
    return found;
}

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

BarStateHold::BarStateHold(HWND frame, bool create) : frame(frame) {
    MutexLock guard(registry.lock.get());
    // Lookups come with every message the host's loop offers: they must neither allocate nor leave an entry.
    auto entry = registry.entries.find(frame);
    if (entry == registry.entries.end()) {
        if (!create) {
            return;
        }
        StarvedUnlessDone starved{frame};
        std::unique_ptr<BarState> created(new (std::nothrow) BarState(registry.settings));
        if (!created) {
            return;
        }
        created->starved = TakeStarved(frame);
        entry = registry.entries.emplace(frame, std::move(created)).first;
        starved.done = true;
    }
    if (!entry->second->closing) {
        state = entry->second.get();
        ++state->holds;
    }
}

BarStateHold::~BarStateHold() {
    if (state == nullptr) {
        return;
    }
    {
        MutexLock guard(registry.lock.get());
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
    const auto entry = registry.entries.find(frame);
    if (entry != registry.entries.end() && entry->second.get() == state) {
        registry.entries.erase(entry);
    }
}

void HandleFrameEvents(HWND frame, UINT events) {
    if ((events & kEventIgnoreMask) != 0) {
        return;
    }

    BarStateHold hold(frame, true);
    BarState* state = hold.get();
    if (state == nullptr) {
        return;  // out of memory, or the frame's close is under way
    }
    // A close completes when the last hold goes, even when storing ShowBar or an attach in the same call ran
    // out of memory: a BarState left open would take the next frame that gets this handle for its own.
    struct CloseWhenDone {
        BarState* closed;
        ~CloseWhenDone() {
            if (closed != nullptr) {
                MutexLock guard(registry.lock.get());
                closed->closing = true;
            }
        }
    } closeWhenDone{(events & kEventClose) != 0 ? state : nullptr};

    if ((events & kEventAttach) != 0 && state->toolbarId < 0 && !state->attaching) {
        struct AttachingFlag {
            BarState& attached;
            ~AttachingFlag() {
                attached.attaching = false;
                // No bar could be made (no memory for it, or none for the settings' names).
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
            entry->format.clear();
        }
    }

    if ((events & kEventToolbarShown) != 0) {
        state->visible = !state->visible;
        if (state->visible) {
            (void)ShowWindow(state->bar.hwnd, SW_SHOW);
        }
    }
}
