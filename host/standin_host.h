// A stand-in for the host editor: loads the plug-in by path, opens frames with a document and a toolbar band,
// answers the plug-in's messages, offers every queued message to PluginProc 2308, and logs what it received.
#pragma once

#include "bar/host_interface.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// One message that a frame received from the plug-in.
struct HostRecord {
    HWND frame = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::wstring text;                 // 2093: the bar's title; 2077: the search text
    HWND window = nullptr;             // 2093: the registered window; WM_ACTIVATE: lParam as a window
    LRESULT result = 0;                // what the host answered
    bool found = false;                // 2077: whether the document held a match
    std::vector<unsigned char> bytes;  // 2093: the registration record's bytes as they arrived
};

struct PluginExports {
    OnCommandProc onCommand = nullptr;
    QueryStatusProc queryStatus = nullptr;
    GetIdProc getMenuTextId = nullptr;
    GetIdProc getStatusMessageId = nullptr;
    GetIdProc getIconId = nullptr;
    OnEventsProc onEvents = nullptr;
    PluginProcProc pluginProc = nullptr;
};

class StandInHost {
  public:
    StandInHost();
    ~StandInHost();  // closes every frame and frees the plug-in
    StandInHost(const StandInHost&) = delete;
    StandInHost& operator=(const StandInHost&) = delete;

    // LoadLibraryW and GetProcAddress for the seven exports; false when the module or an export is missing.
    bool LoadPlugin(const std::wstring& dllPath);
    // FreeLibrary; the plug-in saves its settings in its detach notification.
    void UnloadPlugin();
    HMODULE Plugin() const { return module; }
    const PluginExports& Exports() const { return exports; }

    // Creates a visible frame window with a toolbar band and a document; sends `events` (0 sends nothing).
    HWND OpenFrame(UINT events = kEventAttach, const std::wstring& documentText = L"");
    // Destroys the frame's windows, then reports the close with event 0x8, as the host does.
    void CloseFrame(HWND frame);
    void SendEvents(HWND frame, UINT events);
    std::vector<HWND> Frames() const;

    HWND Document(HWND frame) const;
    // The toolbar that the plug-in registered for the frame, or null.
    HWND Toolbar(HWND frame) const;
    int ToolbarId(HWND frame) const;
    bool ToolbarShown(HWND frame) const;
    // The frame's menu item for the plug-in's command (text from string 40000) and its check mark.
    LRESULT InvokeCommand(HWND frame);
    bool CommandChecked(HWND frame);

    // How LoadPlugin maps the module; LoadLibraryW when empty. The program loads through its fault hooks.
    std::function<HMODULE(const std::wstring&)> loadLibrary;
    // When false, 2095 is recorded but the toolbar is neither shown nor hidden and no event follows.
    bool honourShowRequests = true;
    // Once, when a frame next receives this message (2093 or 2095) from the plug-in, the host closes that
    // frame from inside its handling of it, after answering as usual. 0: never.
    UINT closeInside = 0;
    // Once, when a frame next receives 2093, the host reports the attach event for it again from inside.
    bool attachInsideAdd = false;
    // The program posts WM_QUIT when its last frame closes; tests keep pumping instead.
    bool quitWhenLastFrameCloses = false;
    bool quitRequested = false;

    // Runs the host's message loop until `done` holds or the time-out passes; true when `done` held.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
    // Runs the message loop for the given time.
    void Pump(DWORD ms);
    // The program's message loop, until WM_QUIT.
    int Run();
    // Offers one message to the plug-in as the host's loop does; true when the plug-in took it.
    bool PreTranslate(MSG& msg);

    std::vector<HostRecord> records;
    size_t Count(UINT message, HWND frame = nullptr) const;
    const HostRecord* Last(UINT message, HWND frame = nullptr) const;

    // Window procedure plumbing; public for the frame class only.
    LRESULT FrameMessage(HWND frame, UINT message, WPARAM wParam, LPARAM lParam);

  private:
    struct Frame;
    Frame* Find(HWND frame) const;
    void LayOut(Frame& frame);
    // Closes the frame from inside its handling of `message` when closeInside asks for that message.
    void CloseIfAskedInside(HWND frame, UINT message);

    HMODULE module = nullptr;
    PluginExports exports;
    std::vector<std::unique_ptr<Frame>> frames;
    int nextToolbarId = 0;
    HFONT documentFont = nullptr;
};
