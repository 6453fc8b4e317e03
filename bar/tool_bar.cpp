// The bar's container, its construction from dialog template 107, its registration with the host, and the
// search field's key handling.
#include "bar/tool_bar.h"

#include "bar/bar_state.h"
#include "bar/host_interface.h"
#include "resources/resource_ids.h"
#include "settings/ini_document.h"

#include <cstdint>

namespace {

constexpr wchar_t kBarTitle[] = L"ヌピ";
constexpr int kMaxSearchLength = 255;
constexpr int kMaxEditWidth = 200;
constexpr int kCheckBoxGap = 5;

struct MoveContext {
    HWND container;
    HFONT font;
};

BOOL CALLBACK MoveIntoContainer(HWND child, LPARAM context) {
    const auto* move = reinterpret_cast<const MoveContext*>(context);
    (void)SetParent(child, move->container);
    (void)SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(move->font), 0);
    return TRUE;
}

}  // namespace

void StoreBarSetting(IniDocument& settings, const wchar_t* key, int32_t value) {
    IniEntry* entry = settings.SetValue(settings.currentSection, key, value);
    if (entry != nullptr) {
        entry->format.Clear();  // saved as "%d", whatever format the file had for it
    }
}

CToolBar::CToolBar() : background(CreateSolidBrush(GetSysColor(COLOR_MENU))) {}

BOOL CToolBar::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result, DWORD mapId) {
    if (mapId != 0) {
        return FALSE;
    }
    switch (message) {
        case WM_INITDIALOG:
            return Handle(result, [this] { return InitControls(); });
        case WM_DESTROY:
            return Handle(result, [this] { return SaveRegExp(); });
        case WM_ERASEBKGND:
            return Handle(result, [this, wParam] { return EraseBackground(reinterpret_cast<HDC>(wParam)); });
        case WM_SIZE:
            return Handle(result, [this, lParam] { return Layout(lParam); });
        default:
            return FALSE;
    }
}

LRESULT CToolBar::InitControls() {
    HWND edit = GetDlgItem(hwnd, IDC_SEARCH_EDIT);
    // A failed subclass leaves a plain edit box: no focus selection, no limit, no search on Enter.
    (void)search.SubclassWindow(edit);
    (void)SendMessageW(search.hwnd, EM_LIMITTEXT, kMaxSearchLength, 0);
    checkBox = GetDlgItem(hwnd, IDC_REGEXP_CHECK);
    return 1;
}

LRESULT CToolBar::SaveRegExp() {
    if (settings == nullptr) {
        return 0;
    }
    StoreBarSetting(*settings, kUseRegExp, SendMessageW(checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
    return 0;
}

LRESULT CToolBar::EraseBackground(HDC dc) {
    RECT client{};
    (void)GetClientRect(hwnd, &client);
    (void)FillRect(dc, &client, background.get());
    return 1;
}

LRESULT CToolBar::Layout(LPARAM size) {
    if (search.hwnd == nullptr) {
        return 0;
    }
    const int width = LOWORD(size);
    const int height = HIWORD(size);
    const int editWidth = width < kMaxEditWidth ? width : kMaxEditWidth;
    RECT box{};
    (void)GetWindowRect(checkBox, &box);
    (void)MoveWindow(checkBox, editWidth + kCheckBoxGap, 0, box.right - box.left, height, TRUE);
    (void)MoveWindow(search.hwnd, 0, 0, editWidth, height, TRUE);
    return 0;
}

BOOL CToolBar::PreTranslate(MSG* msg) {
    // Key releases, system keys, input-method and mouse messages stay with the host.
    if (msg == nullptr || !IsSearchKey(*msg)) {
        return FALSE;
    }
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
        // Enter is consumed whole: the box never sees it, so no character is made from it.
        Search();
        return TRUE;
    }
    (void)TranslateMessage(msg);
    (void)DispatchMessageW(msg);
    return TRUE;
}

void CToolBar::Search() {
    wchar_t text[kMaxSearchLength + 1];
    if (GetWindowTextW(search.hwnd, text, kMaxSearchLength + 1) <= 0) {
        return;
    }
    WPARAM flags = kFindFlagsPlain;
    if (SendMessageW(checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED) {
        flags = kFindFlagsRegExp;
    }
    (void)SendMessageW(frame, kMsgFind, flags, reinterpret_cast<LPARAM>(text));
}

void CToolBarDlg::Build(HWND frame, CToolBar& bar) {
    HWND dialog = Create(frame, IDD_BAR);
    if (dialog == nullptr) {
        return;
    }
    const auto exStyle =
        static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)) & ~DWORD{WS_EX_TOOLWINDOW};
    RECT rect{};
    (void)GetWindowRect(dialog, &rect);
    HWND parent = GetParent(dialog);
    // The screen rectangle is used as a position in the parent as it stands; the host places the bar later.
    HWND container = bar.Create(parent, rect, exStyle, IDD_BAR);
    if (container != nullptr) {
        LOGFONTW logFont{};
        auto dialogFont = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
        if (dialogFont != nullptr && GetObjectW(dialogFont, sizeof(logFont), &logFont) == sizeof(logFont)) {
            bar.font.reset(CreateFontIndirectW(&logFont));
        }
        (void)SendMessageW(container, WM_SETFONT, reinterpret_cast<WPARAM>(bar.font.get()), 1);
        MoveContext move{container, bar.font.get()};
        (void)EnumChildWindows(dialog, &MoveIntoContainer, reinterpret_cast<LPARAM>(&move));
        (void)SendMessageW(container, WM_INITDIALOG, 0, 0);
    }
    // The dialog's own font dies with it; the controls now use the bar's copy.
    (void)DestroyWindow(dialog);
}

bool AttachBar(BarState& state, HWND frame) {
    CToolBar& bar = state.bar;
    int32_t showBar = 1;
    int32_t useRegExp = 0;
    if (IniDocument* settings = state.settings) {
        (void)settings->GetInt(settings->currentSection, kShowBar, &showBar);
        (void)settings->GetInt(settings->currentSection, kUseRegExp, &useRegExp);
    }

    // A bar that the host refused before keeps its window and is offered again.
    if (bar.hwnd == nullptr) {
        CToolBarDlg dialog;
        dialog.Build(frame, bar);
    }
    if (bar.hwnd == nullptr) {
        return true;
    }

    BarRegistration registration{};
    registration.size = static_cast<uint32_t>(sizeof(registration));
    registration.window = bar.hwnd;
    registration.title = kBarTitle;
    state.toolbarId =
        static_cast<int32_t>(SendMessageW(frame, kMsgAddToolbar, 0, reinterpret_cast<LPARAM>(&registration)));
    // The host may have closed the frame meanwhile: a closed frame is sent nothing more, and a check box that
    // never showed the setting must not store it.
    if (bar.frameClosed) {
        return false;
    }

    bar.frame = frame;
    bar.settings = state.settings;
    (void)SendMessageW(bar.checkBox, BM_SETCHECK, useRegExp != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    if (showBar != 0) {
        (void)SendMessageW(frame, kMsgShowToolbar, static_cast<WPARAM>(static_cast<INT_PTR>(state.toolbarId)),
                           1);
        if (bar.frameClosed) {
            return false;
        }
    }
    (void)SendMessageW(frame, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(bar.hwnd));
    return !bar.frameClosed;
}
