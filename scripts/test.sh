#!/usr/bin/env bash
# Builds everything and runs every test: the native unit tests, the static check of the shipping 32-bit DLL,
# and the Windows tests under Wine inside one Xvfb server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

start=$(date +%s)
jobs=$(nproc)

cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs"
ctest --test-dir build/native -j"$jobs" --output-on-failure

cmake --preset i686 -DFINDRAIL_TESTS=OFF >/dev/null
cmake --build --preset i686 -j"$jobs"

cmake --preset x64 >/dev/null
cmake --build --preset x64 -j"$jobs"
xvfb-run -a -s "-screen 0 1024x768x24" ctest --test-dir build/x64 -j"$jobs" --output-on-failure --timeout 120

echo "FindRail.dll (i686): $(stat -c %s build/i686/bin/FindRail.dll) bytes;" \
     "x86_64: $(stat -c %s build/x64/bin/FindRail.dll) bytes"
echo "All tests passed in $(( $(date +%s) - start )) s"
