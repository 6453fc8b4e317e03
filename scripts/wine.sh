#!/usr/bin/env bash
# Runs the pinned Wine 10 (see wine_root.sh) on this machine's files, as if it were installed here:
#   scripts/wine.sh PROGRAM.exe ARGS...     the wine64 loader, which runs 64-bit and 32-bit programs alike
#   scripts/wine.sh --server ARGS...        wineserver64, e.g. -p to keep one server for a whole test run
# The root sees this checkout, the current folder, /tmp (the X server's socket and xvfb-run's cookie) and
# /dev at their own paths, through bind mounts that live only in the process's private mount namespace.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine_env.sh"
if [ ! -f "$FINDRAIL_WINE_ROOT/$FINDRAIL_WINE_MARKER" ]; then
    echo "wine.sh: no Wine root in $FINDRAIL_WINE_ROOT; run scripts/setup.sh first" >&2
    exit 127
fi
# A missing prefix is copied from the machine's template (wine_prefix.sh) rather than made by Wine from nothing.
if [ -n "${WINEPREFIX:-}" ] && [ ! -e "$WINEPREFIX" ] && [ "${1:-}" != --server ]; then
    "$here/wine_prefix.sh" "$WINEPREFIX" >&2
fi
program=/usr/lib/wine/wine64
if [ "${1:-}" = --server ]; then
    program=/usr/lib/wine/wineserver64
    shift
fi
export WINEDLLPATH=$FINDRAIL_WINE_DLLPATH
# Wine 10's Wayland probe complains on every start without a runtime folder; there is no compositor here.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR=/tmp/findrail-xdg-$(id -u)
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fi
exec unshare -m /bin/sh -c '
    set -e
    root=$1 source=$2 work=$3 program=$4
    shift 4
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount --rbind /tmp "$root/tmp"
    # The checkout, and the current folder unless it lies inside the checkout or /tmp.
    for dir in "$source" "$work"; do
        case "$dir" in /tmp|/tmp/*) continue ;; esac
        mkdir -p "$root$dir"
        mount --rbind "$dir" "$root$dir"
        case "$work" in "$source"|"$source"/*) break ;; esac
    done
    exec chroot "$root" /bin/sh -c "cd \"\$0\" && exec \"\$@\"" "$work" "$program" "$@"
' sh "$FINDRAIL_WINE_ROOT" "$(cd "$here/.." && pwd)" "$(pwd)" "$program" "$@"
