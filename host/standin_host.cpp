// The stand-in host: frames with a document and a toolbar band, answering 2093, 2095, 2077 and WM_ACTIVATE.
#include "host/standin_host.h"

#include <algorithm>
#include <regex>

namespace {

constexpr wchar_t kFrameClass[] = L"StandInHostFrame";
constexpr UINT kCommandId = 100;
constexpr int kDocumentId = 200;

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* host = reinterpret_cast<StandInHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        host = static_cast<StandInHost*>(create->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
    }
    if (host == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return host->FrameMessage(window, message, wParam, lParam);
}

bool RegisterFrameClass() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    wc.lpszClassName = kFrameClass;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Finds `needle` from `from` on, then from the start; plain text or ECMAScript regular expression.
bool FindInText(const std::wstring& text,
                const std::wstring& needle,
                bool regExp,
                size_t from,
                size_t& start,
                size_t& length) {
    if (from > text.size()) {
        from = 0;
    }
    if (!regExp) {
        size_t at = text.find(needle, from);
        if (at == std::wstring::npos) {
            at = text.find(needle);
        }
        if (at == std::wstring::npos) {
            return false;
        }
        start = at;
        length = needle.size();
        return true;
    }
    try {
        const std::wregex pattern(needle);
        std::wsmatch match;
        const auto begin = text.begin() + static_cast<std::ptrdiff_t>(from);
        if (std::regex_search(begin, text.end(), match, pattern) ||
            std::regex_search(text.begin(), text.end(), match, pattern)) {
            start = static_cast<size_t>(match[0].first - text.begin());
            length = static_cast<size_t>(match[0].length());
            return true;
        }
    } catch (const std::regex_error&) {
    }
    return false;
}

HostRecord MakeRecord(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    HostRecord record;
    record.frame = frame;
    record.message = message;
    record.wParam = wParam;
    record.lParam = lParam;
    return record;
}

}  // namespace

struct StandInHost::Frame {
    struct Toolbar {
        HWND window = nullptr;
        int id = -1;
        int height = 0;
        bool shown = false;
    };

    HWND window = nullptr;
    HWND document = nullptr;
    HMENU menu = nullptr;
    std::vector<Toolbar> toolbars;

    Toolbar* FindToolbar(int id) {
        for (auto& toolbar : toolbars) {
            if (toolbar.id == id) {
                return &toolbar;
            }
        }
        return nullptr;
    }
};

StandInHost::StandInHost() {
    (void)RegisterFrameClass();
}

StandInHost::~StandInHost() {
    while (!frames.empty()) {
        CloseFrame(frames.back()->window);
    }
    UnloadPlugin();
    if (documentFont != nullptr) {
        (void)DeleteObject(documentFont);
    }
}

bool StandInHost::LoadPlugin(const std::wstring& dllPath) {
    UnloadPlugin();
    module = loadLibrary ? loadLibrary(dllPath) : LoadLibraryW(dllPath.c_str());
    if (module == nullptr) {
        return false;
    }
    // void (*)() is the generic function pointer type; casting through it says the types are known to differ.
    const auto get = [this](const char* name) {
        return reinterpret_cast<void (*)()>(GetProcAddress(module, name));
    };
    exports.onCommand = reinterpret_cast<OnCommandProc>(get("OnCommand"));
    exports.queryStatus = reinterpret_cast<QueryStatusProc>(get("QueryStatus"));
    exports.getMenuTextId = reinterpret_cast<GetIdProc>(get("GetMenuTextID"));
    exports.getStatusMessageId = reinterpret_cast<GetIdProc>(get("GetStatusMessageID"));
    exports.getIconId = reinterpret_cast<GetIdProc>(get("GetIconID"));
    exports.onEvents = reinterpret_cast<OnEventsProc>(get("OnEvents"));
    exports.pluginProc = reinterpret_cast<PluginProcProc>(get("PluginProc"));
    return exports.onCommand && exports.queryStatus && exports.getMenuTextId && exports.getStatusMessageId &&
           exports.getIconId && exports.onEvents && exports.pluginProc;
}

void StandInHost::UnloadPlugin() {
    if (module != nullptr) {
        (void)FreeLibrary(module);
        module = nullptr;
    }
    exports = PluginExports();
}

HWND StandInHost::OpenFrame(UINT events, const std::wstring& documentText) {
    frames.push_back(std::make_unique<Frame>());
    Frame* raw = frames.back().get();

    raw->menu = CreateMenu();
    HMENU popup = CreatePopupMenu();
    wchar_t label[128] = L"FindRail";
    if (module != nullptr && exports.getMenuTextId != nullptr) {
        (void)LoadStringW(module, exports.getMenuTextId(), label, 128);
    }
    (void)AppendMenuW(popup, MF_STRING, kCommandId, label);
    (void)AppendMenuW(raw->menu, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), L"Plug-ins");

    raw->window = CreateWindowExW(0, kFrameClass, L"Stand-in host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                  20 + 30 * static_cast<int>(frames.size() - 1), 20, 640, 360, nullptr,
                                  raw->menu, GetModuleHandleW(nullptr), this);
    if (raw->window == nullptr) {
        (void)DestroyMenu(raw->menu);
        frames.pop_back();
        return nullptr;
    }
    raw->document = CreateWindowExW(
        WS_EX_CLIENTEDGE, L"EDIT", documentText.c_str(),
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL | ES_WANTRETURN, 0,
        0, 10, 10, raw->window, reinterpret_cast<HMENU>(kDocumentId), GetModuleHandleW(nullptr), nullptr);
    if (documentFont == nullptr) {
        documentFont =
            CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"MS UI Gothic");
    }
    (void)SendMessageW(raw->document, WM_SETFONT, reinterpret_cast<WPARAM>(documentFont), FALSE);
    (void)ShowWindow(raw->window, SW_SHOW);
    LayOut(*raw);
    // The frame may be closed while the plug-in handles its first events.
    HWND window = raw->window;
    if (events != 0) {
        SendEvents(window, events);
    }
    return window;
}

void StandInHost::CloseFrame(HWND window) {
    Frame* frame = Find(window);
    if (frame == nullptr) {
        return;
    }
    // The bar's windows die with the frame; the plug-in hears of the close afterwards.
    (void)DestroyWindow(frame->window);
    SendEvents(window, kEventClose);
    frames.erase(std::find_if(frames.begin(), frames.end(),
                              [frame](const std::unique_ptr<Frame>& f) { return f.get() == frame; }));
    if (frames.empty() && quitWhenLastFrameCloses) {
        PostQuitMessage(0);
    }
}

void StandInHost::SendEvents(HWND frame, UINT events) {
    if (exports.onEvents != nullptr) {
        exports.onEvents(frame, events, 0);
    }
}

std::vector<HWND> StandInHost::Frames() const {
    std::vector<HWND> result;
    for (const auto& frame : frames) {
        result.push_back(frame->window);
    }
    return result;
}

HWND StandInHost::Document(HWND window) const {
    const Frame* frame = Find(window);
    return frame ? frame->document : nullptr;
}

HWND StandInHost::Toolbar(HWND window) const {
    const Frame* frame = Find(window);
    return (frame && !frame->toolbars.empty()) ? frame->toolbars.front().window : nullptr;
}

int StandInHost::ToolbarId(HWND window) const {
    const Frame* frame = Find(window);
    return (frame && !frame->toolbars.empty()) ? frame->toolbars.front().id : -1;
}

bool StandInHost::ToolbarShown(HWND window) const {
    const Frame* frame = Find(window);
    return frame && !frame->toolbars.empty() && frame->toolbars.front().shown;
}

LRESULT StandInHost::InvokeCommand(HWND frame) {
    return exports.onCommand ? exports.onCommand(frame) : 0;
}

bool StandInHost::CommandChecked(HWND window) {
    BOOL checked = 0;
    if (exports.queryStatus != nullptr) {
        (void)exports.queryStatus(window, &checked);
    }
    if (Frame* frame = Find(window)) {
        (void)CheckMenuItem(frame->menu, kCommandId, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
    }
    return checked != 0;
}

bool StandInHost::PreTranslate(MSG& msg) {
    if (exports.pluginProc == nullptr || msg.hwnd == nullptr) {
        return false;
    }
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (Find(root) == nullptr) {
        return false;
    }
    return exports.pluginProc(root, kQueryPreTranslate, 0, reinterpret_cast<LPARAM>(&msg)) == 1;
}

bool StandInHost::PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quitRequested = true;
                continue;
            }
            if (!PreTranslate(msg)) {
                (void)TranslateMessage(&msg);
                (void)DispatchMessageW(&msg);
            }
            if (done && done()) {
                return true;
            }
        }
        if (done && done()) {
            return true;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return false;
        }
        (void)MsgWaitForMultipleObjectsEx(0, nullptr,
                                          static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 50)),
                                          QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void StandInHost::Pump(DWORD ms) {
    (void)PumpUntil(nullptr, ms);
}

int StandInHost::Run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!PreTranslate(msg)) {
            (void)TranslateMessage(&msg);
            (void)DispatchMessageW(&msg);
        }
    }
    return 0;
}

size_t StandInHost::Count(UINT message, HWND frame) const {
    return static_cast<size_t>(std::count_if(records.begin(), records.end(), [&](const HostRecord& r) {
        return r.message == message && (frame == nullptr || r.frame == frame);
    }));
}

const HostRecord* StandInHost::Last(UINT message, HWND frame) const {
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        if (it->message == message && (frame == nullptr || it->frame == frame)) {
            return &*it;
        }
    }
    return nullptr;
}

StandInHost::Frame* StandInHost::Find(HWND window) const {
    for (const auto& frame : frames) {
        if (frame->window == window) {
            return frame.get();
        }
    }
    return nullptr;
}

void StandInHost::LayOut(Frame& frame) {
    RECT client;
    if (!GetClientRect(frame.window, &client)) {
        return;
    }
    const int width = client.right - client.left;
    int top = 0;
    for (auto& toolbar : frame.toolbars) {
        if (toolbar.shown && IsWindow(toolbar.window)) {
            (void)MoveWindow(toolbar.window, 0, top, width, toolbar.height, TRUE);
            top += toolbar.height;
        }
    }
    (void)MoveWindow(frame.document, 0, top, width, std::max<int>(0, client.bottom - top), TRUE);
}

void StandInHost::CloseIfAskedInside(HWND frame, UINT message) {
    if (closeInside == message) {
        closeInside = 0;
        CloseFrame(frame);
    }
}

LRESULT StandInHost::FrameMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Frame* frame = Find(window);
    if (frame == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
        case kMsgAddToolbar: {
            HostRecord record = MakeRecord(window, message, wParam, lParam);
            const auto* registration = reinterpret_cast<const BarRegistration*>(lParam);
            LRESULT id = -1;
            if (registration != nullptr) {
                const auto* raw = reinterpret_cast<const unsigned char*>(registration);
                record.bytes.assign(raw, raw + sizeof(BarRegistration));
            }
            if (registration != nullptr && registration->size == sizeof(BarRegistration)) {
                record.window = registration->window;
                record.text = registration->title ? registration->title : L"";
                Frame::Toolbar toolbar;
                toolbar.window = registration->window;
                toolbar.id = nextToolbarId++;
                RECT rect = {};
                (void)GetWindowRect(toolbar.window, &rect);
                toolbar.height = std::max<int>(rect.bottom - rect.top, 8);
                // A toolbar stays hidden until it is asked to show.
                (void)ShowWindow(toolbar.window, SW_HIDE);
                frame->toolbars.push_back(toolbar);
                id = toolbar.id;
            }
            record.result = id;
            records.push_back(record);
            if (attachInsideAdd) {
                attachInsideAdd = false;
                SendEvents(window, kEventAttach);
            }
            CloseIfAskedInside(window, message);  // `frame` may be gone from here on
            return id;
        }
        case kMsgShowToolbar: {
            HostRecord record = MakeRecord(window, message, wParam, lParam);
            LRESULT result = 0;
            Frame::Toolbar* toolbar = frame->FindToolbar(static_cast<int>(static_cast<INT_PTR>(wParam)));
            bool changed = false;
            if (toolbar != nullptr) {
                result = 1;
                const bool show = lParam != 0;
                if (honourShowRequests && toolbar->shown != show) {
                    toolbar->shown = show;
                    (void)ShowWindow(toolbar->window, show ? SW_SHOW : SW_HIDE);
                    LayOut(*frame);
                    changed = true;
                }
            }
            record.result = result;
            records.push_back(record);
            // The host reports every show and hide, so that the plug-in's flag follows the toolbar.
            if (changed) {
                SendEvents(window, kEventToolbarShown);
            }
            CloseIfAskedInside(window, message);
            return result;
        }
        case kMsgFind: {
            HostRecord record = MakeRecord(window, message, wParam, lParam);
            const auto* text = reinterpret_cast<const wchar_t*>(lParam);
            record.text = text ? text : L"";
            const int length = GetWindowTextLengthW(frame->document);
            std::wstring document(static_cast<size_t>(length) + 1, L'\0');
            document.resize(static_cast<size_t>(GetWindowTextW(frame->document, &document[0], length + 1)));
            DWORD selStart = 0;
            DWORD selEnd = 0;
            (void)SendMessageW(frame->document, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                               reinterpret_cast<LPARAM>(&selEnd));
            size_t start = 0;
            size_t found = 0;
            if (!record.text.empty() &&
                FindInText(document, record.text, (wParam & kFindFlagRegExp) != 0, selEnd, start, found)) {
                (void)SendMessageW(frame->document, EM_SETSEL, start, start + found);
                (void)SendMessageW(frame->document, EM_SCROLLCARET, 0, 0);
                record.found = true;
            }
            record.result = record.found ? 1 : 0;
            records.push_back(record);
            return record.result;
        }
        case WM_ACTIVATE: {
            // The system's activations name top-level windows; a child in lParam is the plug-in's request.
            HWND other = reinterpret_cast<HWND>(lParam);
            if (other != nullptr && IsChild(window, other)) {
                HostRecord record = MakeRecord(window, message, wParam, lParam);
                record.window = other;
                records.push_back(record);
                return 0;
            }
            break;
        }
        case WM_SIZE:
            LayOut(*frame);
            return 0;
        case WM_INITMENUPOPUP:
            (void)CommandChecked(window);
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kCommandId && lParam == 0) {
                (void)InvokeCommand(window);
                return 0;
            }
            break;
        case WM_CLOSE:
            CloseFrame(window);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
