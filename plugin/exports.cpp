// The seven functions the host calls, and the module's attach and detach notifications.
#include "bar/host_interface.h"
#include "plugin/bar_registry.h"
#include "plugin/frame_events.h"
#include "plugin/module.h"
#include "resources/resource_ids.h"

#include "findrail_version.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr wchar_t kDisplayName[] = L"ルカモネ";
constexpr wchar_t kVersionText[] = FINDRAIL_VERSION_WTEXT;

// Copies as much of `text` as fits, always terminated (nothing when the capacity is 0); returns its full
// length.
template <size_t N>
LRESULT CopyText(const wchar_t (&text)[N], WPARAM capacity, LPARAM buffer) {
    constexpr size_t length = N - 1;
    auto* out = reinterpret_cast<wchar_t*>(buffer);
    if (out != nullptr && capacity > 0) {
        const size_t count = capacity > length ? length : static_cast<size_t>(capacity) - 1;
        std::memcpy(out, text, count * sizeof(wchar_t));
        out[count] = L'\0';
    }
    return static_cast<LRESULT>(length);
}

}  // namespace

extern "C" {

LRESULT WINAPI OnCommand(HWND frame) {
    const BarStateView state = ViewBarState(frame);
    if (!state.found) {
        return 0;
    }
    const auto toolbarId = static_cast<WPARAM>(static_cast<INT_PTR>(state.toolbarId));
    return SendMessageW(frame, kMsgShowToolbar, toolbarId, state.visible ? 0 : 1);
}

BOOL WINAPI QueryStatus(HWND frame, BOOL* checked) {
    if (checked != nullptr) {
        *checked = ViewBarState(frame).visible ? 1 : 0;
    }
    return 1;
}

UINT WINAPI GetMenuTextID() {
    return IDS_MENU_TEXT;
}

UINT WINAPI GetStatusMessageID() {
    return IDS_STATUS_MESSAGE;
}

UINT WINAPI GetIconID() {
    return IDI_FINDRAIL;
}

void WINAPI OnEvents(HWND frame, UINT events, LPARAM) {
    HandleFrameEvents(frame, events);
}

LRESULT WINAPI PluginProc(HWND frame, UINT code, WPARAM wParam, LPARAM lParam) {
    switch (code) {
        case kQueryName:
            return CopyText(kDisplayName, wParam, lParam);
        case kQueryVersion:
            return CopyText(kVersionText, wParam, lParam);
        case kQueryPreTranslate: {
            auto* msg = reinterpret_cast<MSG*>(lParam);
            if (msg == nullptr) {
                return 0;
            }
            BarStateHold hold(frame, *msg);
            return hold.get() != nullptr && hold.get()->bar.PreTranslate(msg) ? 1 : 0;
        }
        default:
            return 0;
    }
}

}  // extern "C"

// For the detach notification, `reserved` is null when the module is freed while the process goes on.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            ModuleStart(instance);
            break;
        case DLL_PROCESS_DETACH:
            ModuleStop(reserved != nullptr);
            break;
        default:
            break;
    }
    return TRUE;
}
