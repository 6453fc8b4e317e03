#!/usr/bin/env bash
# Builds everything and runs every test, tier by tier: the native unit tests (native), then the Windows tests
# under the pinned Wine inside one Xvfb server, once with the x86_64 build as an English Windows (win64) and
# once with the shipping i686 build as a Japanese Windows (win32), whose tests load build/i686/bin/FindRail.dll
# itself. A Debug build of the i686 DLL is built too, which is not stripped: its symbols must hold nothing of the
# C++ runtime's exceptions or of the unwinder.
# Every tier is configured with its tests on, and a tier that finds no test fails, so this never reports tests
# that it did not run.
# On a machine whose kernel cannot run 32-bit programs (scripts/ia32_probe.sh) the win32 tier builds its test
# programs but runs only the checks that need no Windows process, and the Japanese Windows is tested with the
# x86_64 build instead (win64-ja); the run says so.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

start=$(date +%s)
jobs=$(nproc)
logs=build/test-logs
mkdir -p "$logs"

cmake --preset native -DFINDRAIL_TESTS=ON >/dev/null
cmake --build --preset native -j"$jobs"
tiers=(native win64)
if scripts/ia32_probe.sh; then
    wine32=ON
    tiers+=(win32)
else
    wine32=OFF
    tiers+=(win64-ja win32)
    echo "The 32-bit Windows programs cannot run on this machine: the win32 tier runs only its checks that" \
         "need no Windows process, and the Japanese Windows is tested with the x86_64 build (win64-ja)."
fi
cmake --preset i686 -DFINDRAIL_TESTS=ON -DFINDRAIL_WINE_TESTS=$wine32 >/dev/null
cmake --build --preset i686 -j"$jobs"
cmake --preset i686 -B build/i686-debug -DCMAKE_BUILD_TYPE=Debug -DFINDRAIL_TESTS=OFF >/dev/null
cmake --build build/i686-debug -j"$jobs" --target FindRail
if i686-w64-mingw32-nm build/i686-debug/bin/FindRail.dll |
    grep -E '__cxa_throw|__cxa_begin_catch|_Unwind_RaiseException|_Unwind_Resume|__gxx_personality'; then
    echo "The Debug DLL holds the exception machinery (above)"
    exit 1
fi
cmake --preset x64 -DFINDRAIL_TESTS=ON >/dev/null
cmake --build --preset x64 -j"$jobs"
if [ $wine32 = OFF ]; then
    cmake --preset x64-ja -DFINDRAIL_TESTS=ON >/dev/null
    cmake --build --preset x64-ja -j"$jobs"
fi

# run_tier <label> <build folder> [launcher...]: ctest for one tier; its log is kept for the summary.
failed=0
run_tier() {
    local label=$1 dir=$2
    shift 2
    echo "=== $label tier ($dir)"
    if ! "$@" ctest --test-dir "$dir" -L "^$label\$" --no-tests=error -j"$jobs" \
        --output-on-failure --timeout 120 2>&1 | tee "$logs/$label.log"; then
        failed=1
    fi
}

run_tier native build/native
xvfb=(xvfb-run -a -s "-screen 0 1024x768x24")
run_tier win64 build/x64 "${xvfb[@]}"
if [ $wine32 = OFF ]; then
    run_tier win64-ja build/x64-ja "${xvfb[@]}"
fi
run_tier win32 build/i686 "${xvfb[@]}"

echo "=== Summary"
passed_total=0
failed_total=0
skipped_total=0
for label in "${tiers[@]}"; do
    # ctest's closing line: "100% tests passed, 0 tests failed out of 77".
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$logs/$label.log" | tail -n 1 || true)
    if [ -z "$line" ]; then
        echo "$label: no test ran"
        failed=1
        continue
    fi
    total=$(echo "$line" | sed -E 's/.* out of ([0-9]+).*/\1/')
    bad=$(echo "$line" | sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/')
    # ctest counts a skipped test as passed; it lists them under "did not run".
    skipped=$(grep -c '(Skipped)$' "$logs/$label.log" || true)
    echo "$label: $((total - bad - skipped)) passed, $bad failed, $skipped skipped"
    passed_total=$((passed_total + total - bad - skipped))
    failed_total=$((failed_total + bad))
    skipped_total=$((skipped_total + skipped))
done
if [ $wine32 = OFF ]; then
    echo "win32: its test programs were built but not run, as this machine cannot run 32-bit programs"
fi
echo "FindRail.dll (i686, ships): $(stat -c %s build/i686/bin/FindRail.dll) bytes," \
     "SHA-256 $(sha256sum build/i686/bin/FindRail.dll | cut -d' ' -f1)"
echo "Wall time: $(( $(date +%s) - start )) s"
echo "$passed_total passed, $failed_total failed, $skipped_total skipped"
exit $failed
