// StandInHost.exe: runs the plug-in in frames of its own, optionally following a script given on the command
// line, and writes what it received to a log.
//
//   StandInHost.exe [--plugin <dll>] [--document <UTF-8 file>] [--log <file>] [--heap-check]
//                   [--preload <dll>]... [command...]
//
// Each --preload DLL is loaded (LoadLibraryW) before the plug-in, logging "preloaded <name>" or "preload
// failed <name>". Every load of the plug-in counts its allocations from its C runtime's start-up on and lets
// its file writes be limited (host/fault_injection.h); "start not covered" is logged when the count starts
// only after the load.
//
// Once the plug-in is freed, every heap of the process must validate and no block may have been found damaged
// as it was freed (host/heap_check.h), or the host logs "heap damaged" and exits with 0xC0000374. With
// --heap-check it refuses to start ("heap checking off", exit code 3) unless the platform's heap checking is
// in force for it, so that a test cannot pass with the checker silently off.
//
// Commands, run in order against the current frame (the last opened one unless `frame` chose another):
//   open[:<events>] open a frame (events 0x4 unless given, in decimal)
//   close           close the current frame
//   frame:<n>       make the n-th opened frame current; -1 is the last opened, -2 the one before
//   type:<text>     post the text as WM_CHAR units to the bar's search box
//   key:<vk>        post WM_KEYDOWN and WM_KEYUP of a virtual key (decimal) to the search box
//   enter           key:13                            tick         click the regular-expression check box
//   focus           put the keyboard focus in the search box
//   command         invoke the plug-in's command      report       log the bar's state
//   report:<label>  log the bar's state with <label> in place of "report"
//   elsewhere       call QueryStatus and PluginProc 2308 for the current frame from a new thread; logs
//                   "elsewhere returned", or "elsewhere blocked" when they do not return within 5 s
//   resize          give the frame a new size         paint        repaint the frame and all its children
//   wait:<ms>       run the message loop              unload       close every frame, then free the plug-in
//   free            free the plug-in, frames left open
//   load            load the plug-in again
//   closein:<msg>   close the next frame that gets message 2093 or 2095 from inside its handling
//   attachin        report the attach event again from inside the next 2093
//   exports:<n>     call every export for an opened frame (n as for `frame`), never announced or closed
//   stale           destroy the search box, then offer PluginProc 2308 key messages for it
//   gdi             log the number of GDI objects the process holds
//   attach          report the attach event for the current frame again, as for a frame attached again
//   nowindow:<e>    report events <e> (decimal) for a frame handle that names no window
//   refuse:<k>      refuse the plug-in's k-th allocation (counted since it was last loaded) alone; with +k,
//                   the k-th from now
//   refusefrom:<k>  refuse the k-th allocation and every later one
//   memory          refuse no allocation any more
//   allocs          log "allocations <n>": asked for since the plug-in was last loaded, refused ones too
//   diskfull:<n>    the plug-in's file writes fail with ERROR_DISK_FULL once its files have grown by n more
//                   bytes (a write uses room only where it grows a file)
//   disk            the plug-in's file writes are unlimited again
//   fail:<what>     refuse the plug-in's newfiles (creating a file that does not exist) or read (ReadFile)
//   heal            refuse none of those any more
//   killat:<k>      end the process (exit code 57) at the plug-in's k-th file call from here on; 0: never
//   calls           log "file calls <n>": the plug-in's file calls since the last killat
//   quit            stop; without it the program runs until its last frame is closed
// Refusals, failures and the disk's limit stay until changed, across free and load.
#include "host/gdi_count.h"
#include "host/fault_injection.h"
#include "host/heap_check.h"
#include "host/standin_host.h"
#include "resources/resource_ids.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    (void)WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size,
                              nullptr, nullptr);
    return result;
}

std::wstring ReadUtf8File(const std::wstring& path) {
    std::wstring text;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        return text;
    }
    std::string bytes;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0) {
        bytes.append(buffer, n);
    }
    fclose(file);
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        bytes.erase(0, 3);
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    text.resize(static_cast<size_t>(size));
    if (size > 0) {
        (void)MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], size);
    }
    // The document is an EDIT control: it wants CR LF line breaks.
    std::wstring crlf;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) {
            crlf += L'\r';
        }
        crlf += text[i];
    }
    return crlf;
}

class Log {
  public:
    void Open(const std::wstring& path) { file = _wfopen(path.c_str(), L"wb"); }
    ~Log() {
        if (file != nullptr) {
            fclose(file);
        }
    }
    void Line(const std::wstring& line) {
        if (file != nullptr) {
            const std::string bytes = ToUtf8(line) + "\n";
            fwrite(bytes.data(), 1, bytes.size(), file);
            fflush(file);
        }
    }

  private:
    FILE* file = nullptr;
};

std::wstring Number(long long value) {
    return std::to_wstring(value);
}

class Script {
  public:
    Script(StandInHost& host, Log& log, const std::wstring& pluginPath)
        : host(host), log(log), pluginPath(pluginPath) {}

    int FrameNumber(HWND frame) {
        for (size_t i = 0; i < opened.size(); ++i) {
            if (opened[i] == frame) {
                return static_cast<int>(i) + 1;
            }
        }
        return 0;
    }

    void LogRecords() {
        for (; logged < host.records.size(); ++logged) {
            const HostRecord& r = host.records[logged];
            std::wstring line = Number(r.message) + L" frame=" + Number(FrameNumber(r.frame));
            switch (r.message) {
                case kMsgAddToolbar:
                    line += L" id=" + Number(r.result) + L" title=" + r.text;
                    break;
                case kMsgShowToolbar:
                    line += L" id=" + Number(static_cast<INT_PTR>(r.wParam)) + L" show=" + Number(r.lParam);
                    break;
                case kMsgFind: {
                    wchar_t flags[16];
                    swprintf(flags, 16, L"0x%X", static_cast<unsigned>(r.wParam));
                    line +=
                        L" flags=" + std::wstring(flags) + L" found=" + Number(r.found) + L" text=" + r.text;
                    break;
                }
                default:
                    line += L" wParam=" + Number(static_cast<INT_PTR>(r.wParam));
                    break;
            }
            log.Line(line);
        }
    }

    HWND SearchBox() const {
        HWND bar = current ? host.Toolbar(current) : nullptr;
        return bar ? GetDlgItem(bar, IDC_SEARCH_EDIT) : nullptr;
    }

    std::wstring BoxText() const {
        wchar_t text[256] = {};
        (void)GetWindowTextW(SearchBox(), text, 256);
        return text;
    }

    HWND CheckBox() const {
        HWND bar = current ? host.Toolbar(current) : nullptr;
        return bar ? GetDlgItem(bar, IDC_REGEXP_CHECK) : nullptr;
    }

    // Returns false to stop the script.
    bool Run(const std::wstring& command, const std::wstring& documentText) {
        const size_t colon = command.find(L':');
        const std::wstring verb = command.substr(0, colon);
        const std::wstring arg = colon == std::wstring::npos ? L"" : command.substr(colon + 1);
        if (verb == L"open") {
            const UINT events = arg.empty() ? kEventAttach : static_cast<UINT>(_wtoi(arg.c_str()));
            current = host.OpenFrame(events, documentText);
            opened.push_back(current);
            // The host may have closed the frame while the plug-in handled its first events.
            const auto frames = host.Frames();
            if (std::find(frames.begin(), frames.end(), current) == frames.end()) {
                current = frames.empty() ? nullptr : frames.back();
            }
        } else if (verb == L"close") {
            if (current != nullptr) {
                host.CloseFrame(current);
                const auto frames = host.Frames();
                current = frames.empty() ? nullptr : frames.back();
            }
        } else if (verb == L"frame") {
            current = Opened(arg);
        } else if (verb == L"resize") {
            RECT rect{};
            (void)GetWindowRect(current, &rect);
            const int grow = rect.right - rect.left > 600 ? -80 : 80;
            (void)MoveWindow(current, rect.left, rect.top, rect.right - rect.left + grow,
                             rect.bottom - rect.top, TRUE);
        } else if (verb == L"paint") {
            (void)RedrawWindow(current, nullptr, nullptr,
                               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        } else if (verb == L"free") {
            LogRecords();
            host.UnloadPlugin();
            log.Line(L"freed");
        } else if (verb == L"load") {
            log.Line(host.LoadPlugin(pluginPath) ? L"loaded again" : L"load failed");
        } else if (verb == L"closein") {
            host.closeInside = static_cast<UINT>(_wtoi(arg.c_str()));
        } else if (verb == L"attachin") {
            host.attachInsideAdd = true;
        } else if (verb == L"exports") {
            const HWND frame = Opened(arg);
            CallEveryExport(frame, FrameNumber(frame));
        } else if (verb == L"elsewhere") {
            log.Line(CallFromAnotherThread() ? L"elsewhere returned" : L"elsewhere blocked");
        } else if (verb == L"stale") {
            OfferStaleMessages();
        } else if (verb == L"attach") {
            if (current != nullptr) {
                host.SendEvents(current, kEventAttach);
            }
        } else if (verb == L"nowindow") {
            // A handle value that no window of this process can have: not a multiple of four.
            const HWND ghost = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7FFF1));
            if (!IsWindow(ghost)) {
                host.SendEvents(ghost, static_cast<UINT>(_wtoi(arg.c_str())));
            }
        } else if (verb == L"refuse" || verb == L"refusefrom") {
            const LONG from = arg[0] == L'+' ? PluginAllocations() : 0;
            RefuseAllocations(from + _wtoi(arg.c_str()), verb == L"refusefrom");
        } else if (verb == L"memory") {
            RefuseAllocations(0, false);
        } else if (verb == L"allocs") {
            log.Line(L"allocations " + Number(PluginAllocations()));
        } else if (verb == L"diskfull") {
            LimitDiskWrites(_wtoi64(arg.c_str()));
        } else if (verb == L"disk") {
            LimitDiskWrites(-1);
        } else if (verb == L"fail" || verb == L"heal") {
            const bool on = verb == L"fail";
            for (const auto& [name, failure] :
                 {std::pair<const wchar_t*, Failure>{L"newfiles", kNewFiles}, {L"read", kRead}}) {
                if (!on || arg == name) {
                    SetFailure(failure, on);
                }
            }
        } else if (verb == L"killat") {
            KillAtFileCall(_wtoi(arg.c_str()));
        } else if (verb == L"calls") {
            log.Line(L"file calls " + Number(PluginFileCalls()));
        } else if (verb == L"gdi") {
            log.Line(L"gdi " + Number(CountGdiObjects()));
        } else if (verb == L"focus") {
            (void)SetFocus(SearchBox());
        } else if (verb == L"type") {
            HWND box = SearchBox();
            for (wchar_t unit : arg) {
                (void)PostMessageW(box, WM_CHAR, unit, 1);
            }
        } else if (verb == L"key" || verb == L"enter") {
            const UINT key = verb == L"enter" ? VK_RETURN : static_cast<UINT>(_wtoi(arg.c_str()));
            HWND box = SearchBox();
            (void)PostMessageW(box, WM_KEYDOWN, key, 1);
            (void)PostMessageW(box, WM_KEYUP, key, 0xC0000001);
        } else if (verb == L"tick") {
            (void)SendMessageW(CheckBox(), BM_CLICK, 0, 0);
        } else if (verb == L"command") {
            (void)host.InvokeCommand(current);
        } else if (verb == L"wait") {
            // Records are logged as they arrive, so that a watcher of the log sees them while the host runs.
            const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(_wtoi(arg.c_str()));
            for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
                (void)host.PumpUntil([this] { return host.records.size() > logged; },
                                     static_cast<DWORD>(deadline - now));
                LogRecords();
            }
        } else if (verb == L"report") {
            LogRecords();
            const bool checked = SendMessageW(CheckBox(), BM_GETCHECK, 0, 0) == BST_CHECKED;
            log.Line((arg.empty() ? L"report" : arg) + L" frame=" + Number(FrameNumber(current)) +
                     L" toolbar=" + Number(host.Toolbar(current) != nullptr) + L" shown=" +
                     Number(host.ToolbarShown(current)) + L" command=" +
                     Number(host.CommandChecked(current)) + L" regexp=" + Number(checked) + L" text=" +
                     BoxText());
        } else if (verb == L"unload") {
            LogRecords();
            while (!host.Frames().empty()) {
                host.CloseFrame(host.Frames().back());
            }
            current = nullptr;
            host.UnloadPlugin();
            log.Line(L"unloaded");
        } else if (verb == L"quit") {
            return false;
        } else {
            log.Line(L"unknown command " + command);
        }
        LogRecords();
        return true;
    }

  private:
    // The n-th opened frame, or with a negative n the one that many back from the last opened (-1: the last).
    HWND Opened(const std::wstring& number) const {
        const int n = _wtoi(number.c_str());
        const int index = n < 0 ? static_cast<int>(opened.size()) + n : n - 1;
        return index >= 0 && index < static_cast<int>(opened.size()) ? opened[static_cast<size_t>(index)]
                                                                     : nullptr;
    }

    // Every export, with the answers logged; OnEvents only with bits that the plug-in ignores whole.
    void CallEveryExport(HWND frame, int number) {
        const PluginExports& e = host.Exports();
        if (e.onCommand == nullptr) {
            log.Line(L"exports frame=" + Number(number) + L" no plug-in");
            return;
        }
        const LRESULT command = e.onCommand(frame);
        BOOL checked = 7;
        const BOOL status = e.queryStatus(frame, &checked);
        const BOOL statusWithoutFlag = e.queryStatus(frame, nullptr);
        e.onEvents(frame, 0x1, 0);
        MSG enter{frame, WM_KEYDOWN, VK_RETURN, 1, 0, {}};
        const LRESULT taken = e.pluginProc(frame, kQueryPreTranslate, 0, reinterpret_cast<LPARAM>(&enter)) +
                              e.pluginProc(frame, kQueryPreTranslate, 0, 0);
        log.Line(L"exports frame=" + Number(number) + L" command=" + Number(command) + L" status=" +
                 Number(status) + Number(statusWithoutFlag) + L" checked=" + Number(checked) + L" ids=" +
                 Number(e.getMenuTextId()) + L"," + Number(e.getStatusMessageId()) + L"," +
                 Number(e.getIconId()) + L" name=" + Number(e.pluginProc(frame, kQueryName, 0, 0)) +
                 L" version=" + Number(e.pluginProc(frame, kQueryVersion, 0, 0)) + L" taken=" +
                 Number(taken));
    }

    // QueryStatus and PluginProc 2308 for the current frame from a thread that has never called the plug-in,
    // as a host's other threads may: false when they do not return within five seconds, as when a lock of
    // the plug-in was left held.
    struct OtherThreadCall {
        PluginExports exports;
        HWND frame;
    };

    static DWORD WINAPI CallOnOtherThread(void* parameter) {
        const auto* call = static_cast<const OtherThreadCall*>(parameter);
        BOOL checked = 0;
        (void)call->exports.queryStatus(call->frame, &checked);
        MSG msg{call->frame, WM_PAINT, 0, 0, 0, {}};
        (void)call->exports.pluginProc(call->frame, kQueryPreTranslate, 0, reinterpret_cast<LPARAM>(&msg));
        return 0;
    }

    bool CallFromAnotherThread() {
        OtherThreadCall call{host.Exports(), current};
        if (call.exports.queryStatus == nullptr) {
            return true;
        }
        HANDLE thread = CreateThread(nullptr, 0, &CallOnOtherThread, &call, 0, nullptr);
        if (thread == nullptr) {
            return false;
        }
        const bool returned = WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0;
        if (!returned) {
            (void)TerminateThread(thread, 1);
        }
        (void)CloseHandle(thread);
        return returned;
    }

    // The host's loop may hold a message for a window that has gone since it was queued.
    void OfferStaleMessages() {
        HWND box = SearchBox();
        (void)DestroyWindow(box);
        const bool gone = box != nullptr && !IsWindow(box);
        LRESULT taken = 0;
        const MSG messages[] = {{box, WM_KEYDOWN, VK_RETURN, 1, 0, {}},
                                {box, WM_CHAR, L'a', 1, 0, {}},
                                {box, WM_KEYDOWN, VK_LEFT, 1, 0, {}}};
        for (MSG msg : messages) {
            if (host.Exports().pluginProc != nullptr) {
                taken +=
                    host.Exports().pluginProc(current, kQueryPreTranslate, 0, reinterpret_cast<LPARAM>(&msg));
            }
        }
        log.Line(L"stale gone=" + Number(gone) + L" taken=" + Number(taken));
    }

    StandInHost& host;
    Log& log;
    std::wstring pluginPath;
    std::vector<HWND> opened;
    HWND current = nullptr;
    size_t logged = 0;
};

// The SHA-256 of a file in lower-case hex, so that a log says which build of the plug-in ran; empty on
// failure.
std::wstring FileSha256(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        return std::wstring();
    }
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    for (size_t n; (n = fread(chunk, 1, sizeof(chunk), file)) > 0;) {
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    fclose(file);

    unsigned char digest[32] = {};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0 &&
              BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
              BCryptHashData(hash, bytes.data(), static_cast<ULONG>(bytes.size()), 0) == 0 &&
              BCryptFinishHash(hash, digest, sizeof(digest), 0) == 0;
    if (hash != nullptr) {
        (void)BCryptDestroyHash(hash);
    }
    if (algorithm != nullptr) {
        (void)BCryptCloseAlgorithmProvider(algorithm, 0);
    }
    if (!ok) {
        return std::wstring();
    }
    std::wstring hex;
    for (unsigned char byte : digest) {
        hex += L"0123456789abcdef"[byte >> 4];
        hex += L"0123456789abcdef"[byte & 15];
    }
    return hex;
}

std::wstring BesideExecutable(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder + name;
}

// The system's own exit code for heap corruption; a crash under Wine never gives it.
constexpr int kExitHeapDamaged = static_cast<int>(0xC0000374);
constexpr int kExitHeapCheckingOff = 3;

// Everything but the final heap check: the host and the plug-in are gone when it returns.
int RunHost(int argc, wchar_t** argv, Log& log) {
    std::wstring pluginPath = BesideExecutable(L"FindRail.dll");
    std::wstring documentText = L"FindRail stand-in host.\r\n";
    std::vector<std::wstring> commands;
    std::vector<std::wstring> preloads;
    bool heapCheck = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--plugin" && i + 1 < argc) {
            pluginPath = argv[++i];
        } else if (arg == L"--document" && i + 1 < argc) {
            documentText = ReadUtf8File(argv[++i]);
        } else if (arg == L"--log" && i + 1 < argc) {
            log.Open(argv[++i]);
        } else if (arg == L"--heap-check") {
            heapCheck = true;
        } else if (arg == L"--preload" && i + 1 < argc) {
            preloads.push_back(argv[++i]);
        } else {
            commands.push_back(arg);
        }
    }
    if (!GuardHeapFrees() && heapCheck) {
        log.Line(L"heap checking off: frees are not guarded");
        return kExitHeapCheckingOff;
    }
    if (heapCheck && !HeapCheckingOn()) {
        wchar_t flags[16];
        swprintf(flags, 16, L"0x%X", static_cast<unsigned>(ProcessGlobalFlags()));
        log.Line(L"heap checking off: global flags " + std::wstring(flags));
        return kExitHeapCheckingOff;
    }

    for (const auto& name : preloads) {
        log.Line((LoadLibraryW(name.c_str()) ? L"preloaded " : L"preload failed ") + name);
    }
    StandInHost host;
    host.loadLibrary = [&log](const std::wstring& path) {
        bool startCounted = false;
        HMODULE module = LoadWithFaults(path, &startCounted);
        if (module != nullptr && !startCounted) {
            log.Line(L"start not covered");
        }
        return module;
    };
    if (!host.LoadPlugin(pluginPath)) {
        log.Line(L"load failed " + pluginPath);
        return 2;
    }
    // Which file the loader really took, and its bytes' digest: the tests compare it with the file that
    // ships.
    wchar_t loadedPath[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(host.Plugin(), loadedPath, MAX_PATH);
    const std::wstring loaded(loadedPath, length);
    log.Line(L"loaded " + loaded + L" sha256 " + FileSha256(loaded));
    Script script(host, log, pluginPath);
    if (commands.empty()) {
        commands.push_back(L"open");
    }
    for (const auto& command : commands) {
        if (!script.Run(command, documentText)) {
            return 0;  // the host's destructor closes the frames and frees the plug-in
        }
    }
    if (host.Frames().empty()) {
        return 0;
    }
    host.quitWhenLastFrameCloses = true;
    const int code = host.Run();
    script.LogRecords();
    return code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Log log;
    const int code = RunHost(argc, argv, log);
    const HeapDamage damage = CheckHeaps();
    if (damage) {
        log.Line(L"heap damaged: " + Number(damage.invalidHeaps) + L" of " + Number(damage.heaps) +
                 L" heaps do not validate, " + Number(damage.damagedFrees) + L" blocks damaged when freed");
        return kExitHeapDamaged;
    }
    return code;
}
