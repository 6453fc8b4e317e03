#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when any is missing, then makes the
# pinned Wine (scripts/wine_root.sh) once per machine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

packages=(
    cmake make g++ googletest
    g++-mingw-w64-x86-64-win32 gcc-mingw-w64-x86-64-win32
    g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32
    binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    debootstrap xvfb xauth x11-apps netpbm fakeroot
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo_cmd=(sudo)
    fi
    "${sudo_cmd[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

"$here/wine_root.sh"
