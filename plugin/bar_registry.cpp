// The bar registry: frame window to BarState, guarded by an unnamed mutex that is never held while the host,
// the settings store or the bar's windows are called.
#include "plugin/bar_registry.h"

#include "base/heap_object.h"
#include "base/array.h"
#include "base/unique_handle.h"

namespace {

struct FrameEntry {
    HWND frame;
    HeapPtr<BarState> state;
};

class BarRegistry {
  public:
    BarRegistry() noexcept = default;
    // BarStates left at unload are abandoned, not destroyed: their windows may still be alive.
    ~BarRegistry() {
        for (FrameEntry& entry : entries) {
            (void)entry.state.release();
        }
    }

    // A host has few frames open at once: a plain search costs less than keeping them ordered.
    size_t IndexOf(HWND frame) const noexcept {
        size_t at = 0;
        while (at < entries.size() && entries[at].frame != frame) {
            ++at;
        }
        return at;
    }

    HeapPtr<BarState>* Find(HWND frame) noexcept {
        const size_t at = IndexOf(frame);
        return at < entries.size() ? &entries[at].state : nullptr;
    }

    Array<FrameEntry> entries;
    UniqueMutex lock;
    IniDocument* settings = nullptr;  // the module's store, handed over at start
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
        // Touching the windows here, unlike at process exit: the host destroys them after this code is gone.
        MutexLock guard(registry.lock.get());
        for (FrameEntry& entry : registry.entries) {
            entry.state->bar.UnbindWindows();
        }
    }
    registry.lock.reset();
}

BarStateView ViewBarState(HWND frame) noexcept {
    BarStateView view;
    MutexLock guard(registry.lock.get());
    const HeapPtr<BarState>* entry = registry.Find(frame);
    if (entry != nullptr && !(*entry)->closing) {
        view.found = true;
        view.toolbarId = (*entry)->toolbarId;
        view.visible = (*entry)->visible;
    }
    return view;
}

BarStateHold::BarStateHold(HWND frame) noexcept : frame(frame) {
    MutexLock guard(registry.lock.get());
    HeapPtr<BarState>* entry = registry.Find(frame);
    if (entry != nullptr) {
        Take(entry->get());
        return;
    }
    HeapPtr<BarState> created = MakeHeap<BarState>(registry.settings);
    BarState* found = created.get();
    if (found != nullptr && registry.entries.Append(FrameEntry{frame, std::move(created)})) {
        Take(found);
    }
}

BarStateHold::BarStateHold(HWND frame, const MSG& message) noexcept : frame(frame) {
    MutexLock guard(registry.lock.get());
    const HeapPtr<BarState>* entry = registry.Find(frame);
    if (entry != nullptr && (*entry)->visible && (*entry)->bar.IsSearchKey(message)) {
        Take(entry->get());
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
    const size_t at = registry.IndexOf(frame);
    if (at < registry.entries.size()) {
        registry.entries.Erase(at);
    }
}
