// The search bar of one frame: container window, search field and regular-expression check box.
#pragma once

#include "bar/edit_tool.h"
#include "bar/window_support.h"
#include "base/unique_handle.h"

#include <windows.h>

#include <cstdint>

class IniDocument;
struct BarState;

// The bar's two settings, kept in the store's current section.
constexpr wchar_t kShowBar[] = L"ShowBar";
constexpr wchar_t kUseRegExp[] = L"UseRegExp";
// Stores `value` under `key`, saved as a plain integer; when memory runs out the store keeps what it had.
void StoreBarSetting(IniDocument& settings, const wchar_t* key, int32_t value);

// The container that the host keeps as one of the frame's toolbars. Owns its brush and font; never destroys a
// window, since the host destroys the bar's windows with the frame.
class CToolBar : public WindowObject<CToolBar> {
  public:
    static constexpr UINT kClassStyle = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    static constexpr DWORD kWindowStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

    CToolBar();

    BOOL HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result, DWORD mapId)
        override;

    // Lets the container and the search box go, alive, as BoundWindow::Unbind does; brush and font stay, as
    // the controls may still use the font.
    void UnbindWindows() noexcept {
        search.Unbind();
        Unbind();
    }

    // The host has reported the frame closed: it is sent nothing more.
    void FrameClosed() noexcept { frameClosed = true; }

    // Whether PreTranslate deals with the message: a key press or a character for the search field. Reads
    // nothing but this object and the message.
    bool IsSearchKey(const MSG& msg) const noexcept {
        return search.hwnd != nullptr && msg.hwnd == search.hwnd &&
               (msg.message == WM_KEYDOWN || msg.message == WM_CHAR);
    }

    // 1 when the bar has translated and dispatched or consumed the message, else 0: key presses and
    // characters for the search field go straight to it, and Enter there asks the frame to search.
    BOOL PreTranslate(MSG* msg);

  private:
    friend class CToolBarDlg;
    friend bool AttachBar(BarState& state, HWND frame);

    LRESULT InitControls();
    LRESULT SaveRegExp();
    LRESULT EraseBackground(HDC dc);
    LRESULT Layout(LPARAM size);
    void Search();

    UniqueBrush background;
    UniqueFont font;
    IniDocument* settings = nullptr;
    HWND frame = nullptr;
    CEditTool search;
    HWND checkBox = nullptr;
    bool frameClosed = false;
};

// The hidden dialog made from template 107 only to lend the bar its controls and font.
class CToolBarDlg : public DialogObject<CToolBarDlg> {
  public:
    // Makes `bar`'s container as a child of the dialog's owner and moves the template's controls into it.
    // When the dialog or the container cannot be made, the bar keeps no window and no control is left behind.
    void Build(HWND frame, CToolBar& bar);
};

// Builds, registers and (as ShowBar says) shows the frame's bar; without a container nothing is registered,
// and the next attach tries again. False when the host closed the frame meanwhile: it is sent nothing more.
bool AttachBar(BarState& state, HWND frame);
