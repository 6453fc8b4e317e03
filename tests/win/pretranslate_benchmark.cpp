// Speed of PluginProc 2308, which the host calls for every message its loop takes: nanoseconds per call,
// the best of several rounds, for the cases a host's loop meets. Run by scripts/bench.sh, never as a test.
//
//   pretranslate_benchmark.exe [--plugin <dll>]   (default: FindRail.dll beside the program)
#include "host/standin_host.h"
#include "bar/host_interface.h"

#include <windows.h>

#include <cstdio>
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring plugin = L"FindRail.dll";
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::wstring(argv[i]) == L"--plugin") {
            plugin = argv[++i];
        }
    }
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
