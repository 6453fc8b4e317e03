// Speed of the plug-in where the host waits for it: module start (LoadLibrary) with settings files of several
// sizes and key orders, in milliseconds, and PluginProc 2308, which the host calls for every message its loop
// takes, in nanoseconds per call; the best of several rounds each. Run by scripts/bench.sh, never as a test.
//
//   plugin_benchmark.exe [--plugin <dll>]   (default: FindRail.dll beside the program)
#include "host/standin_host.h"
#include "bar/host_interface.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kRounds = 7;

template <typename Body>
double BestNanosecondsPerCall(int calls, Body&& body) {
    LARGE_INTEGER frequency;
    (void)QueryPerformanceFrequency(&frequency);
    double best = 0;
    for (int round = 0; round < kRounds; ++round) {
        LARGE_INTEGER start;
        LARGE_INTEGER stop;
        (void)QueryPerformanceCounter(&start);
        body(round);
        (void)QueryPerformanceCounter(&stop);
        const double ns = static_cast<double>(stop.QuadPart - start.QuadPart) * 1e9 /
                          static_cast<double>(frequency.QuadPart) / calls;
        if (round == 0 || ns < best) {
            best = ns;
        }
    }
    return best;
}

// Settings lines "key<i>=<i>" for i from `first` to `last`, either way, then ShowBar.
std::string Keys(int first, int last) {
    std::string lines;
    const int step = first <= last ? 1 : -1;
    for (int i = first;; i += step) {
        lines += "key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
        if (i == last) {
            break;
        }
    }
    return lines + "ShowBar=0\n";
}

bool WriteWhole(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const bool done = file != INVALID_HANDLE_VALUE &&
                      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                      written == bytes.size();
    (void)CloseHandle(file);
    return done;
}

// Module start with each settings file, in ms; fewer rounds where one takes seconds.
void BenchModuleStart(const std::wstring& plugin) {
    const size_t slash = plugin.find_last_of(L"\\/");
    std::wstring stem = plugin.substr(slash == std::wstring::npos ? 0 : slash + 1);
    stem = stem.substr(0, stem.find_last_of(L'.'));
    const wchar_t* appData = _wgetenv(L"APPDATA");
    std::wstring folder = appData != nullptr ? appData : L"";
    for (const std::wstring& part : {std::wstring(L"\\Kelo"), std::wstring(L"\\Plugins"), L"\\" + stem}) {
        folder += part;
        (void)CreateDirectoryW(folder.c_str(), nullptr);
    }
    const std::wstring ini = folder + L"\\" + stem + L".ini";
    // The largest descending file under 64 KiB; the ascending one holds the same keys.
    int keys = 5000;
    while (Keys(keys, 1).size() >= 64 * 1024) {
        --keys;
    }
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"one line", "ShowBar=0\n"},
        {"100,000 keys descending (1.6 MB)", Keys(100000, 1)},
        {"keys just under 64 KiB, descending", Keys(keys, 1)},
        {"keys just under 64 KiB, ascending", Keys(1, keys)},
    };
    std::printf("Module start, ms (best of up to %d rounds)\n", kRounds);
    for (const Case& c : cases) {
        if (!WriteWhole(ini, c.bytes)) {
            std::fprintf(stderr, "cannot write %ls\n", ini.c_str());
            return;
        }
        LARGE_INTEGER frequency;
        (void)QueryPerformanceFrequency(&frequency);
        double best = 0;
        for (int round = 0; round < kRounds && (round == 0 || best < 2000); ++round) {
            StandInHost host;
            LARGE_INTEGER start;
            LARGE_INTEGER stop;
            (void)QueryPerformanceCounter(&start);
            const bool loaded = host.LoadPlugin(plugin);
            (void)QueryPerformanceCounter(&stop);
            if (!loaded) {
                std::fprintf(stderr, "cannot load the plug-in\n");
                return;
            }
            const double ms =
                static_cast<double>(stop.QuadPart - start.QuadPart) * 1e3 / static_cast<double>(frequency.QuadPart);
            best = round == 0 || ms < best ? ms : best;
        }
        std::printf("  %-40s %9.2f  (%zu bytes)\n", c.name, best, c.bytes.size());
    }
    (void)DeleteFileW(ini.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring plugin = L"FindRail.dll";
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::wstring(argv[i]) == L"--plugin") {
            plugin = argv[++i];
        }
    }
    BenchModuleStart(plugin);
    StandInHost host;
    if (!host.LoadPlugin(plugin)) {
        std::fprintf(stderr, "cannot load the plug-in\n");
        return 2;
    }
    const PluginProcProc pluginProc = host.Exports().pluginProc;
    HWND withBar = host.OpenFrame(kEventAttach);
    HWND withoutBar = host.OpenFrame(0);
    volatile LRESULT sink = 0;

    // A message for the frame itself: the bar is looked up and declines it.
    constexpr int kCalls = 5000;
    MSG paint{withBar, WM_PAINT, 0, 0, 0, {}};
    const double barFrame = BestNanosecondsPerCall(kCalls, [&](int) {
        for (int i = 0; i < kCalls; ++i) {
            sink = sink + pluginProc(withBar, kQueryPreTranslate, 0, reinterpret_cast<LPARAM>(&paint));
        }
    });
    // A frame that was never announced.
    MSG other{withoutBar, WM_PAINT, 0, 0, 0, {}};
    const double plainFrame = BestNanosecondsPerCall(kCalls, [&](int) {
        for (int i = 0; i < kCalls; ++i) {
            sink = sink + pluginProc(withoutBar, kQueryPreTranslate, 0, reinterpret_cast<LPARAM>(&other));
        }
    });
    // Windows that are no frame of ours, each seen once, as a host's many other windows are: fresh handle
    // values each round (the plug-in never touches a window it holds no bar for).
    constexpr int kWindows = 5000;
    const double manyWindows = BestNanosecondsPerCall(kWindows, [&](int round) {
        for (int i = 0; i < kWindows; ++i) {
            const auto window =
                reinterpret_cast<HWND>(static_cast<uintptr_t>(0x40000000u + 4u * (round * kWindows + i)));
            MSG message{window, WM_PAINT, 0, 0, 0, {}};
            sink = sink + pluginProc(window, kQueryPreTranslate, 0, reinterpret_cast<LPARAM>(&message));
        }
    });
    // The frame with the bar again, now that the host has shown the plug-in all those other windows.
    const double barFrameAfter = BestNanosecondsPerCall(kCalls, [&](int) {
        for (int i = 0; i < kCalls; ++i) {
            sink = sink + pluginProc(withBar, kQueryPreTranslate, 0, reinterpret_cast<LPARAM>(&paint));
        }
    });

    std::printf("PluginProc 2308, ns per call (best of %d rounds)\n", kRounds);
    std::printf("  frame with a bar, message it declines      %8.1f\n", barFrame);
    std::printf("  frame never announced                      %8.1f\n", plainFrame);
    std::printf("  %d other windows, each once per round   %8.1f\n", kWindows, manyWindows);
    std::printf("  frame with a bar, after those windows      %8.1f\n", barFrameAfter);
    return 0;
}
