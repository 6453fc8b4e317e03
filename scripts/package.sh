#!/usr/bin/env bash
# Makes the release zip from the i686 build: build/i686/release/FindRail-<version>-win32.zip, with its
# .sha256 beside it. Builds the DLL first when it is out of date; configures build/i686 when it is missing.
# Prints the zip's path and its SHA-256.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ ! -f build/i686/CMakeCache.txt ]; then
    cmake --preset i686 -DFINDRAIL_TESTS=ON >/dev/null
fi
cmake --build --preset i686 --target FindRail >/dev/null

# The zip's file times and time zone are fixed by package/cpack_project.cmake. It also records the owner of
# each file: packed as root, that is 0 whoever packs.
run=()
if [ "$(id -u)" -ne 0 ]; then
    if command -v fakeroot >/dev/null; then
        run=(fakeroot)
    else
        echo "warning: fakeroot is missing; the zip records your user and group ids" >&2
    fi
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! "${run[@]}" cpack --config build/i686/CPackConfig.cmake >"$log" 2>&1; then
    cat "$log" >&2
    exit 1
fi

zip=$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' "$log")
[ -f "$zip" ] && [ -f "$zip.sha256" ] || { cat "$log" >&2; echo "no zip was made" >&2; exit 1; }
(cd "$(dirname "$zip")" && sha256sum --quiet -c "$(basename "$zip").sha256")
# What a user unpacks must be the DLL that was built and tested here, and match the checksums inside.
unpacked=$(mktemp -d)
trap 'rm -f "$log"; rm -rf "$unpacked"' EXIT
(cd "$unpacked" && cmake -E tar xf "$zip" && sha256sum --quiet -c SHA256SUMS)
cmp -s "$unpacked/FindRail.dll" build/i686/bin/FindRail.dll ||
    { echo "the zip's FindRail.dll is not build/i686/bin/FindRail.dll" >&2; exit 1; }
echo "$zip"
echo "SHA-256 $(cut -d' ' -f1 "$zip.sha256")"
