#!/usr/bin/env bash
# Times module start with settings files of several sizes (ms) and PluginProc 2308 (ns per call) in the
# stand-in host under Wine, with the x86_64 build and, where this machine runs 32-bit programs, the shipping i686
# build. `--plugin <dll>` times another FindRail.dll of the same program of its width (e.g. an older build, for
# a before-and-after).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
plugin=
while [ $# -gt 0 ]; do
    case $1 in
        --plugin) plugin=$(realpath "$2"); shift 2 ;;
        *) echo "usage: scripts/bench.sh [--plugin <dll>]" >&2; exit 2 ;;
    esac
done

trees=(x64)
if scripts/ia32_probe.sh 2>/dev/null; then
    trees+=(i686)
fi
if [ -n "$plugin" ]; then
    # The program of the DLL's own width.
    if x86_64-w64-mingw32-objdump -f "$plugin" | grep -q 'pei-x86-64'; then trees=(x64); else trees=(i686); fi
fi
for tree in "${trees[@]}"; do
    cmake --preset $tree -DFINDRAIL_TESTS=ON >/dev/null
    cmake --build --preset $tree --target plugin_benchmark
    dll=${plugin:-$root/build/$tree/bin/FindRail.dll}
    echo "=== $tree: $dll"
    WINEPREFIX=$root/build/$tree/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
        xvfb-run -a -s "-screen 0 1024x768x24" scripts/wine.sh \
        "$root/build/$tree/bin/plugin_benchmark.exe" --plugin "$dll"
done
