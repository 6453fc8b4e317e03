// Frame events, the command and its check mark, with the real DLL in the stand-in host.
#include "host/fault_injection.h"
#include "host/standin_host.h"
#include "bar/host_interface.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

class FrameEvents : public ::testing::Test {
  protected:
    void SetUp() override {
        stem = std::wstring(L"FrEvents") +
               FromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(host.LoadPlugin(CopyPluginAs(stem)));
    }

    bool Checked(HWND frame) {
        BOOL checked = 7;
        EXPECT_EQ(host.Exports().queryStatus(frame, &checked), 1);
        EXPECT_TRUE(checked == 0 || checked == 1);
        return checked == 1;
    }

    std::wstring stem;
    StandInHost host;
};

TEST_F(FrameEvents, EventsWithBitOneOrTwoAreIgnoredWhole) {
    HWND frame = host.OpenFrame(0);
    for (UINT events : {0x1u, 0x2u, 0x3u, 0x5u, 0x9u, 0x200001u, 0x20000Eu}) {
        host.SendEvents(frame, events);
    }
    EXPECT_EQ(host.Count(kMsgAddToolbar), 0u);
    // No state was created, so the command has nothing to ask for.
    EXPECT_EQ(host.Exports().onCommand(frame), 0);
    EXPECT_EQ(host.Count(kMsgShowToolbar), 0u);
    EXPECT_FALSE(Checked(frame));
}

TEST_F(FrameEvents, CreateOnlyThenAttach) {
    HWND frame = host.OpenFrame(0);
    host.SendEvents(frame, kEventCreate);
    EXPECT_EQ(host.Count(kMsgAddToolbar), 0u);
    EXPECT_FALSE(Checked(frame));

    // The state exists: the command asks the host to show toolbar -1, which the host does not know.
    host.InvokeCommand(frame);
    host.InvokeCommand(frame);
    ASSERT_EQ(host.Count(kMsgShowToolbar), 2u);
    for (const HostRecord& record : host.records) {
        if (record.message == kMsgShowToolbar) {
            EXPECT_EQ(static_cast<INT_PTR>(record.wParam), -1);
            EXPECT_EQ(record.lParam, 1);
        }
    }

    host.SendEvents(frame, kEventAttach);
    EXPECT_EQ(host.Count(kMsgAddToolbar, frame), 1u);
    EXPECT_NE(host.Toolbar(frame), nullptr);
    EXPECT_EQ(host.ToolbarId(frame), 0);
}

TEST_F(FrameEvents, TwoAttachEventsAttachOnce) {
    HWND frame = host.OpenFrame(kEventAttach);
    host.SendEvents(frame, kEventAttach);
    host.SendEvents(frame, kEventAttach | kEventCreate);
    EXPECT_EQ(host.Count(kMsgAddToolbar, frame), 1u);
    const HostRecord* added = host.Last(kMsgAddToolbar, frame);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->text, std::wstring(L"\u30CC\u30D4"));
    EXPECT_EQ(added->window, host.Toolbar(frame));
    EXPECT_EQ(GetParent(added->window), frame);
#if defined(__i386__)
    // The 32-bit host reads seven 32-bit fields: size 28, the window at offset 8, the title at offset 12.
    ASSERT_EQ(added->bytes.size(), 28u);
    uint32_t fields[7];
    std::memcpy(fields, added->bytes.data(), sizeof(fields));
    EXPECT_EQ(fields[0], 28u);
    EXPECT_EQ(fields[2], static_cast<uint32_t>(reinterpret_cast<uintptr_t>(added->window)));
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(fields[3]))),
              L"\u30CC\u30D4");
    for (int i : {1, 4, 5, 6}) {
        EXPECT_EQ(fields[i], 0u) << "field " << i;
    }
#endif
}

// The host shows the bar on request and reports it with 0x200000; the check mark follows those reports only.
TEST_F(FrameEvents, CheckMarkFollowsTheHostsReports) {
    HWND frame = host.OpenFrame(kEventAttach);
    ASSERT_EQ(host.Count(kMsgShowToolbar, frame), 1u);
    EXPECT_EQ(host.Last(kMsgShowToolbar, frame)->lParam, 1);
    EXPECT_TRUE(host.ToolbarShown(frame));
    EXPECT_TRUE(Checked(frame));
    EXPECT_TRUE(IsWindowVisible(host.Toolbar(frame)));

    EXPECT_EQ(host.InvokeCommand(frame), 1);
    EXPECT_EQ(host.Last(kMsgShowToolbar, frame)->lParam, 0);
    EXPECT_FALSE(host.ToolbarShown(frame));
    EXPECT_FALSE(Checked(frame));

    host.InvokeCommand(frame);
    EXPECT_EQ(host.Last(kMsgShowToolbar, frame)->lParam, 1);
    EXPECT_TRUE(Checked(frame));
    EXPECT_TRUE(host.CommandChecked(frame));
}

// Without the host's report nothing changes: a hidden bar is asked to show twice.
TEST_F(FrameEvents, CommandTwiceWithoutReportAsksTwice) {
    HWND frame = host.OpenFrame(kEventAttach);
    host.InvokeCommand(frame);  // hide
    ASSERT_FALSE(Checked(frame));
    host.honourShowRequests = false;
    const size_t before = host.Count(kMsgShowToolbar, frame);
    host.InvokeCommand(frame);
    host.InvokeCommand(frame);
    ASSERT_EQ(host.Count(kMsgShowToolbar, frame), before + 2);
    const HostRecord& last = host.records.back();
    const HostRecord& previous = host.records[host.records.size() - 2];
    EXPECT_EQ(last.lParam, 1);
    EXPECT_EQ(previous.lParam, 1);
    EXPECT_EQ(static_cast<INT_PTR>(last.wParam), host.ToolbarId(frame));
}

TEST_F(FrameEvents, ShownEventShowsTheBarWindow) {
    HWND frame = host.OpenFrame(kEventAttach);
    host.InvokeCommand(frame);  // the host hides the bar and reports it
    HWND bar = host.Toolbar(frame);
    ASSERT_FALSE(IsWindowVisible(bar));
    host.SendEvents(frame, kEventToolbarShown);  // a report from elsewhere: the plug-in shows its window
    EXPECT_TRUE(Checked(frame));
    EXPECT_TRUE(IsWindowVisible(bar));
}

TEST_F(FrameEvents, CloseRemovesTheState) {
    HWND frame = host.OpenFrame(kEventAttach);
    ASSERT_TRUE(Checked(frame));
    host.CloseFrame(frame);
    EXPECT_FALSE(Checked(frame));
    const size_t shows = host.Count(kMsgShowToolbar);
    EXPECT_EQ(host.Exports().onCommand(frame), 0);
    EXPECT_EQ(host.Count(kMsgShowToolbar), shows);
}

// The same handle value after a close starts over with a new state.
TEST_F(FrameEvents, AttachAndCloseInOneCall) {
    HWND frame = host.OpenFrame(0);
    host.SendEvents(frame, kEventAttach | kEventClose);
    EXPECT_EQ(host.Count(kMsgAddToolbar, frame), 1u);
    EXPECT_FALSE(Checked(frame));
    EXPECT_FALSE(IsWindow(host.Toolbar(frame)));  // destroyed with its state, not left behind
    host.SendEvents(frame, kEventAttach);
    EXPECT_EQ(host.Count(kMsgAddToolbar, frame), 2u);
}

// 0x8 with 0x200000 stores ShowBar as it was before the flip.
TEST_F(FrameEvents, CloseWithShownReportSavesTheValueBeforeTheFlip) {
    struct Row {
        bool shownBefore;
        const char* saved;
    };
    for (const Row& row : {Row{true, "ShowBar=1"}, Row{false, "ShowBar=0"}}) {
        SCOPED_TRACE(row.saved);
        ASSERT_TRUE(host.LoadPlugin(CopyPluginAs(stem)));
        HWND frame = host.OpenFrame(kEventAttach);
        if (!row.shownBefore) {
            host.InvokeCommand(frame);
        }
        ASSERT_EQ(Checked(frame), row.shownBefore);
        (void)DestroyWindow(frame);
        host.SendEvents(frame, kEventClose | kEventToolbarShown);
        EXPECT_FALSE(Checked(frame));
        host.UnloadPlugin();
        const std::string saved = ReadFileBytes(RoamingPluginIni(stem));
        EXPECT_NE(saved.find(std::string(row.saved) + "\r\n"), std::string::npos) << saved;
    }
}

// Hosts that call in unusual but possible orders, each in a host process of its own. The round runs three
// times; the GDI count after the third against the one after the second shows what one round leaves behind,
// once the first has filled the system's caches and the settings file: nothing, apart from the brush and
// font of each bar abandoned when the plug-in was freed under it.
struct UnusualHost {
    const char* name;
    const wchar_t* round;
    int abandonedBars;                                   // per round
    std::vector<std::pair<const char*, size_t>> counts;  // log text, times it occurs in all rounds together
    const char* savedFile;                               // the settings file at the end; "" for none
    const char* startFile = nullptr;                     // the settings file before the first round
};

void PrintTo(const UnusualHost& row, std::ostream* out) {
    *out << row.name;
}

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The numbers that follow each occurrence of `prefix` in the log.
std::vector<int> LoggedNumbers(const std::string& log, const std::string& prefix) {
    std::vector<int> numbers;
    for (size_t at = log.find(prefix); at != std::string::npos; at = log.find(prefix, at + 1)) {
        numbers.push_back(std::atoi(log.c_str() + at + prefix.size()));
    }
    return numbers;
}

class UnusualHosts : public ::testing::TestWithParam<UnusualHost> {};

TEST_P(UnusualHosts, NeitherCrashNorLeftovers) {
    const UnusualHost& row = GetParam();
    const std::wstring stem = L"FrUnusual" + FromUtf8(row.name);
    const std::wstring dll = CopyPluginAs(stem);
    ASSERT_FALSE(dll.empty());
    const std::wstring round = row.round;
    const std::wstring script = round + L" " + round + L" gdi " + round + L" gdi quit";
    if (row.startFile != nullptr) {
        ASSERT_TRUE(WriteFileBytes(RoamingPluginIni(stem), row.startFile));
    }
    int exitCode = -2;
    const std::string log = RunStandInHost(dll, script, 20000, &exitCode);
    ASSERT_EQ(exitCode, 0) << log;
    for (const auto& [text, times] : row.counts) {
        EXPECT_EQ(Occurrences(log, text), times) << text << "\n" << log;
    }
    const std::vector<int> gdi = LoggedNumbers(log, "gdi ");
    ASSERT_EQ(gdi.size(), 2u) << log;
    EXPECT_EQ(gdi[1] - gdi[0], 2 * row.abandonedBars) << log;
    EXPECT_EQ(ReadFileBytes(RoamingPluginIni(stem)), row.savedFile);
}

const char kUnused[] = "command=0 status=11 checked=0 ids=40000,40001,111 name=4 version=7 taken=0";

INSTANTIATE_TEST_SUITE_P(
    Orders,
    UnusualHosts,
    ::testing::Values(
        // Freed with two frames open: the bars stay as plain controls and nothing is saved for them.
        UnusualHost{
            "FreedUnderTwoFrames",
            L"open open tick type:abc free resize paint type:x wait:100 tick report close resize paint "
            L"type:y wait:100 tick report close load",
            2,
            {{"freed", 3}, {"regexp=0 text=abcx", 3}, {"regexp=1 text=y", 3}, {"load failed", 0}},
            ""},
        // Closed while the host handles 2093: the check box never showed the setting, so it is not stored.
        UnusualHost{"ClosedInsideAdd",
                    L"closein:2093 open wait:50",
                    0,
                    {{"2093 frame=", 3}, {"2095 ", 0}, {"6 frame=", 0}},
                    "ShowBar=0\r\n\r\n"},
        // Closed while the host handles 2095, after reporting the bar shown.
        UnusualHost{"ClosedInsideShow",
                    L"closein:2095 open wait:50",
                    0,
                    {{"2093 frame=", 3}, {"2095 ", 3}, {"6 frame=", 0}},
                    "UseRegExp=0\r\nShowBar=1\r\n\r\n"},
        // Attach reported again while the host handles 2093: the bar is registered once.
        UnusualHost{"AttachInsideAdd",
                    L"attachin open wait:50 report close",
                    0,
                    {{"2093 frame=", 3}, {"2095 ", 3}, {"toolbar=1 shown=1 command=1", 3}},
                    "UseRegExp=0\r\nShowBar=1\r\n\r\n"},
        // Every export for a frame never announced, and for one after its close.
        UnusualHost{"ExportsForFramesWithoutState",
                    L"open:0 exports:-1 open close exports:-1 exports:-2 frame:-2 close",
                    0,
                    {{kUnused, 9}, {"2095 ", 1}},
                    "UseRegExp=0\r\nShowBar=0\r\n\r\n"},
        // PluginProc 2308 for a window gone since the message was queued.
        UnusualHost{"MessageForAWindowGone",
                    L"open stale type:a enter wait:50 close",
                    0,
                    {{"stale gone=1 taken=0", 3}, {"2077 ", 0}},
                    "UseRegExp=0\r\nShowBar=1\r\n\r\n"},
        // No memory for the bar's binding: no bar, and none registered, until the attach comes again.
        UnusualHost{"BindingRefused",
                    L"open:16 refusefrom:+1 attach report memory attach report close",
                    0,
                    {{" toolbar=0 shown=0 command=0", 3}, {" toolbar=1 shown=1 command=1", 3}, {"2093 ", 3}},
                    "UseRegExp=0\r\nShowBar=1\r\n\r\n"},
        // The file cannot be read at load: what the session stores must not replace it.
        UnusualHost{"ReadFailsAtLoad",
                    L"unload fail:read load open close unload heal load",
                    0,
                    {{"loaded again", 6}, {"2093 ", 3}},
                    "Note=mine\r\nShowBar=0\r\n",
                    "Note=mine\r\nShowBar=0\r\n"},
        // A frame whose bar could not be built still stores ShowBar at its close; the rest stays as typed.
        UnusualHost{"FrameWithoutWindowCloses",
                    L"nowindow:4 nowindow:8",
                    0,
                    {{"2093 ", 0}},
                    "ShowBar=0\r\nUseRegExp=1\r\nKeep= as typed \r\n\r\n",
                    "ShowBar=1\r\nUseRegExp=1\r\nKeep= as typed \r\n"},
        // Loaded, used, freed and loaded again in one process: the tick made before comes back from the file.
        UnusualHost{"LoadedAgain",
                    L"open type:abc enter wait:100 tick close unload load open report close",
                    0,
                    {{"loaded again", 3}, {"2077 frame=", 3}, {"regexp=1 text=", 2}, {"regexp=0 text=", 1}},
                    "UseRegExp=1\r\nShowBar=1\r\n\r\n"}),
    [](const ::testing::TestParamInfo<UnusualHost>& info) { return std::string(info.param.name); });

// Two editor processes that start and save over and over at the same time: each save gives way to one under
// way in the other, and one whole file stays, with nothing beside it.
TEST(ConcurrentSaves, TwoProcessesLeaveOneWholeFile) {
    const std::wstring stem = L"FrConcurrent";
    const std::wstring dll = CopyPluginAs(stem);
    ASSERT_FALSE(dll.empty());
    const std::wstring ini = RoamingPluginIni(stem);
    const std::wstring folder = ini.substr(0, ini.find_last_of(L'\\') + 1);
    for (const std::wstring& name : FolderNames(folder)) {
        (void)DeleteFileW((folder + name).c_str());  // what an earlier run left
    }
    ASSERT_TRUE(WriteFileBytes(ini, "Note=mine\r\nShowBar=1\r\nUseRegExp=0\r\n"));
    std::wstring script = L"unload";
    for (int round = 0; round < 25; ++round) {
        script += L" load open close unload";
    }
    PROCESS_INFORMATION processes[2] = {};
    for (PROCESS_INFORMATION& process : processes) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        std::wstring line = L"\"" + BinDir() + L"StandInHost.exe\" --heap-check --plugin \"" + dll + L"\" " +
                            script + L" quit";
        ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process));
    }
    // Meanwhile the file's name is watched: a start at a moment it is missing would take the defaults.
    const HANDLE running[] = {processes[0].hProcess, processes[1].hProcess};
    const ULONGLONG deadline = GetTickCount64() + 60000;
    int missing = 0;
    while (WaitForMultipleObjects(2, running, TRUE, 0) == WAIT_TIMEOUT && GetTickCount64() < deadline) {
        missing += GetFileAttributesW(ini.c_str()) == INVALID_FILE_ATTRIBUTES ? 1 : 0;
    }
    EXPECT_EQ(missing, 0);
    for (PROCESS_INFORMATION& process : processes) {
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
        DWORD code = 1;
        (void)GetExitCodeProcess(process.hProcess, &code);
        EXPECT_EQ(code, 0u);
        (void)CloseHandle(process.hThread);
        (void)CloseHandle(process.hProcess);
    }
    EXPECT_EQ(FolderNames(folder), std::set<std::wstring>{stem + L".ini"});
    // A start during the other's save finds the old file or the new one, never none: the user's line stays.
    EXPECT_EQ(ReadFileBytes(ini), "Note=mine\r\nShowBar=1\r\nUseRegExp=0\r\n\r\n");
}

// Faults injected at the plug-in's own import slots, each row in one host process: every allocation of a
// session refused in turn, alone or with every later one, or the disk full at every size short of the save.
// Each call must return, no heap may be damaged, no lock stay held, the user's entry must stay in the file,
// and once memory is back the frame whose attach failed and a new frame get their bars (shown or not, as the
// ShowBar that a frame without a bar stored at its close says, with the check mark to match). The 32-bit tier
// runs each row again with the shared GCC runtime loaded before the plug-in.
struct FaultSweep {
    const char* name;
    const wchar_t* fault;  // refuse, refusefrom, diskfull or killat
    bool sharedRuntime;
    bool noNewFiles = false;  // the settings folder refuses new files, as some access lists do
};

void PrintTo(const FaultSweep& row, std::ostream* out) {
    *out << row.name;
}

class FaultSweeps : public ::testing::TestWithParam<FaultSweep> {};

TEST_P(FaultSweeps, EveryFaultSurvivedAndNothingLost) {
    const FaultSweep& row = GetParam();
    const std::wstring stem = L"FrFault" + FromUtf8(row.name);
    const std::wstring dll = CopyPluginAs(stem);
    ASSERT_FALSE(dll.empty());
    const std::wstring ini = RoamingPluginIni(stem);
    const std::string userFile = "Note=mine\r\nShowBar=1\r\nUseRegExp=0\r\n";
    const std::wstring preload = row.sharedRuntime ? L"--preload libgcc_s_dw2-1.dll " : L"";
    const std::wstring fault = row.fault;
    int exitCode = -2;

    const std::wstring folder = ini.substr(0, ini.find_last_of(L'\\') + 1);
    for (const std::wstring& name : FolderNames(folder)) {
        (void)DeleteFileW((folder + name).c_str());  // what an earlier run left
    }
    if (fault == L"diskfull") {
        // In place, only the growth takes room: every size short of it must leave the old file.
        const std::wstring saveSession = L" load open tick close unload";
        const std::wstring refuse = row.noNewFiles ? L" fail:newfiles" : L"";
        ASSERT_TRUE(WriteFileBytes(ini, userFile));
        RunStandInHost(dll, preload + refuse + L" unload" + saveSession + L" quit", 20000, &exitCode);
        ASSERT_EQ(exitCode, 0);
        const std::string saved = ReadFileBytes(ini);
        ASSERT_EQ(saved, "Note=mine\r\nShowBar=1\r\nUseRegExp=1\r\n\r\n") << "the save itself works";
        ASSERT_TRUE(WriteFileBytes(ini, userFile));
        std::wstring script = preload + refuse + L" unload";
        for (size_t n = 0; n < saved.size() - (row.noNewFiles ? userFile.size() : 0); ++n) {
            script += L" diskfull:" + std::to_wstring(n) + saveSession;
        }
        const std::string log = RunStandInHost(dll, script + L" quit", 50000, &exitCode);
        ASSERT_EQ(exitCode, 0) << log;
        EXPECT_EQ(ReadFileBytes(ini), userFile);
        EXPECT_EQ(FolderNames(folder), std::set<std::wstring>{stem + L".ini"});
        return;
    }
    if (fault == L"killat") {
        // The stop ended at each of its file calls in turn, then a save in a new process: only the settings
        // file stays, whole.
        ASSERT_TRUE(WriteFileBytes(ini, userFile));
        const std::string measured =
            RunStandInHost(dll, L"unload load open tick close killat:0 unload calls quit", 20000, &exitCode);
        ASSERT_EQ(exitCode, 0) << measured;
        const std::vector<int> calls = LoggedNumbers(measured, "file calls ");
        ASSERT_EQ(calls.size(), 1u) << measured;
        int leftBehind = 0;
        for (int k = 1; k <= calls[0]; ++k) {
            SCOPED_TRACE(k);
            RunStandInHost(dll, L"unload load open tick close killat:" + std::to_wstring(k) + L" unload quit",
                           20000, &exitCode);
            EXPECT_EQ(exitCode, static_cast<int>(kKilledExitCode));
            leftBehind += FolderNames(folder).size() > 1 ? 1 : 0;
            RunStandInHost(dll, L"unload load open close unload quit", 20000, &exitCode);
            EXPECT_EQ(exitCode, 0);
            EXPECT_EQ(FolderNames(folder), std::set<std::wstring>{stem + L".ini"});
            const std::string saved = ReadFileBytes(ini);
            EXPECT_EQ(saved.rfind("Note=mine\r\nShowBar=1\r\nUseRegExp=", 0), 0u) << saved;
        }
        EXPECT_GT(leftBehind, 0) << "some stops were ended with side files in the folder";
        return;
    }

    // The session: load and start, attach, keys and Enter through 2308, the check box, the command and
    // QueryStatus, calls from another thread, a close, and the stop. Up to the memory point every refusal
    // comes before `memory`, then the frame that saw it is attached again and a new one opened.
    const std::wstring underFault =
        L" load open type:ab enter wait:20 tick command command report elsewhere open close";
    const auto again = [](const wchar_t* label) {
        return std::wstring(L" frame:-2 attach report") + label + L" open report" + label;
    };
    ASSERT_TRUE(WriteFileBytes(ini, userFile));
    const std::string measured =
        RunStandInHost(dll,
                       preload + L"unload" + underFault + L" allocs" + again(L"") +
                           L" unload allocs load open:0 allocs exports:-1 exports:-1 allocs quit",
                       20000, &exitCode);
    ASSERT_EQ(exitCode, 0) << measured;
    const std::vector<int> counts = LoggedNumbers(measured, "allocations ");
    ASSERT_EQ(counts.size(), 4u) << measured;
    EXPECT_EQ(counts[3], counts[2]) << "the calls for a frame without a bar allocate nothing";
    const int memoryPoint = counts[0];
    const int session = counts[1];
    ASSERT_GT(memoryPoint, 0);

    // Where a start whose paths ran short of memory would put a file: relative to the current folder, or with
    // no stem.
    const std::wstring strays[] = {L"Plugins\\" + stem + L"\\" + stem + L".ini", RoamingPluginIni(L"")};
    for (const std::wstring& stray : strays) {
        (void)DeleteFileW(stray.c_str());
    }
    ASSERT_TRUE(WriteFileBytes(ini, userFile));
    std::wstring script = preload + L"unload";
    for (int k = 1; k <= session; ++k) {
        script += L" " + fault + L":" + std::to_wstring(k) + underFault;
        if (k <= memoryPoint) {
            script += L" memory" + again(L":back") + L" unload";
        } else {
            script += again(L"") + L" unload memory load open report:back unload";
        }
    }
    const std::string log = RunStandInHost(dll, script + L" quit", 50000, &exitCode);
    ASSERT_EQ(exitCode, 0) << log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
    if (row.sharedRuntime) {
        EXPECT_EQ(Occurrences(log, "preloaded libgcc_s_dw2-1.dll"), 1u);
    }
    EXPECT_EQ(Occurrences(log, "start not covered"), 0u);
    EXPECT_EQ(Occurrences(log, "loaded again"), static_cast<size_t>(2 * session - memoryPoint));
    EXPECT_EQ(Occurrences(log, "elsewhere returned"), static_cast<size_t>(session));
    EXPECT_EQ(Occurrences(log, "back frame="), static_cast<size_t>(session + memoryPoint));
    size_t barsBack = 0;
    for (size_t at = log.find("\nback frame="); at != std::string::npos;
         at = log.find("\nback frame=", at + 1)) {
        const std::string line = log.substr(at + 1, log.find('\n', at + 1) - at - 1);
        barsBack += line.find(" toolbar=1 shown=1 command=1 ") != std::string::npos ||
                            line.find(" toolbar=1 shown=0 command=0 ") != std::string::npos
                        ? 1
                        : 0;
    }
    EXPECT_EQ(barsBack, static_cast<size_t>(session + memoryPoint)) << log;
    EXPECT_NE(ReadFileBytes(ini).find("Note=mine\r\n"), std::string::npos);
    for (const std::wstring& stray : strays) {
        EXPECT_FALSE(FileExists(stray)) << ToUtf8(stray);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults,
                         FaultSweeps,
                         ::testing::Values(FaultSweep{"RefuseOne", L"refuse", false},
                                           FaultSweep{"RefuseFromOneOn", L"refusefrom", false},
                                           FaultSweep{"DiskFull", L"diskfull", false},
                                           FaultSweep{"DiskFullNoNewFiles", L"diskfull", false, true},
                                           FaultSweep{"KilledInSave", L"killat", false}
#if defined(__i386__)
                                           ,
                                           FaultSweep{"RefuseOneSharedRuntime", L"refuse", true},
                                           FaultSweep{"RefuseFromOneOnSharedRuntime", L"refusefrom", true},
                                           FaultSweep{"DiskFullSharedRuntime", L"diskfull", true}
#endif
                                           ),
                         [](const ::testing::TestParamInfo<FaultSweep>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
