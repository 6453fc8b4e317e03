#!/usr/bin/env bash
# Makes the pinned Wine for the Windows tests, once per machine: a Debian 13 root with Wine 10, the 32-bit
# Windows side of Wine for WoW64 mode, and the Japanese fonts. Debian 12's own Wine 8 cannot run 32-bit dialogs.
#   scripts/wine_root.sh          create it when missing or incomplete; print where it is
# The root lives in $FINDRAIL_WINE_ROOT (default /var/cache/findrail/wine10-trixie), outside any checkout, so
# that every clone and every CI run reuse it. A marker written last tells a finished root from a broken one.
# The prefix template beside it (scripts/wine_prefix.sh) shares its files, so it goes when the root is remade.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"

fail() {
    echo "wine_root.sh: $*" >&2
    exit 1
}

if [ -f "$FINDRAIL_WINE_ROOT/$FINDRAIL_WINE_MARKER" ]; then
    echo "Wine root: $FINDRAIL_WINE_ROOT ($(cat "$FINDRAIL_WINE_ROOT/$FINDRAIL_WINE_MARKER"))"
    exit 0
fi

[ "$(id -u)" -eq 0 ] || fail "making the Wine root needs root (debootstrap, chroot and mounts); run as root"
command -v debootstrap >/dev/null || fail "debootstrap is missing (apt-get install debootstrap)"
command -v unshare >/dev/null || fail "unshare is missing (util-linux)"

# The mirror that this machine's apt already uses, so that no new source is introduced.
mirror=$(sed -n 's/^URIs:[[:space:]]*\([^[:space:]]*\).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null |
    grep -v security | head -n 1 || true)
if [ -z "$mirror" ]; then
    mirror=$(sed -n 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\(http[^[:space:]]*\).*/\2/p' \
        /etc/apt/sources.list 2>/dev/null | grep -v security | head -n 1 || true)
fi
mirror=${mirror:-http://deb.debian.org/debian}

mkdir -p "$(dirname "$FINDRAIL_WINE_ROOT")"
exec 9>"$FINDRAIL_WINE_ROOT.lock"
flock 9
# Another run may have finished it while this one waited for the lock.
if [ -f "$FINDRAIL_WINE_ROOT/$FINDRAIL_WINE_MARKER" ]; then
    exit 0
fi

start=$(date +%s)
echo "Making the Wine root in $FINDRAIL_WINE_ROOT from $mirror (about 1.7 GB, a minute or two)"
rm -rf "$FINDRAIL_WINE_TEMPLATE" "$FINDRAIL_WINE_ROOT"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! debootstrap --variant=minbase "$FINDRAIL_WINE_SUITE" "$FINDRAIL_WINE_ROOT" "$mirror" >"$log" 2>&1; then
    tail -n 5 "$log" >&2
    fail "debootstrap of Debian $FINDRAIL_WINE_SUITE from $mirror failed (is the mirror reachable?)"
fi

# Everything inside runs in a private mount namespace: no mount outlives this script, even when it is killed.
# Wine 10 for x86_64 plus the X libraries its display driver loads, the fonts the bar and the host ask for
# (IPA for the Japanese faces, Marlett for caption buttons), then the 32-bit Windows DLLs of the same Wine
# version, taken from libwine:i386 without adding i386 to the root's architectures.
if ! unshare -m sh -c '
    set -e
    root=$1
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
    chroot "$root" /bin/sh -c "
        set -e
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -q
        apt-get install -y -q --no-install-recommends wine64 fonts-ipafont-gothic fonts-wine \
            libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxrender1 libxxf86vm1
        version=\$(dpkg-query -W -f=\"\\\${Version}\" libwine)
        multiarch=\"-o APT::Architectures::=amd64 -o APT::Architectures::=i386\"
        apt-get -q \$multiarch update
        cd /tmp
        apt-get -q \$multiarch download libwine:i386=\$version
        dpkg-deb --fsys-tarfile libwine_*_i386.deb | tar -x -C / ./usr/lib/i386-linux-gnu/wine/i386-windows
        rm -f libwine_*_i386.deb
        apt-get clean
        rm -rf /var/lib/apt/lists/*
    "
' sh "$FINDRAIL_WINE_ROOT" >"$log" 2>&1; then
    tail -n 5 "$log" >&2
    fail "installing Wine into the root failed (see the lines above)"
fi

# WINEDLLPATH names this folder: the 32-bit Windows side, and the 64-bit Unix side that each DLL looks for
# beside its Windows side (without it the display driver cannot load).
dlls="$FINDRAIL_WINE_ROOT$FINDRAIL_WINE_DLLPATH"
mkdir -p "$dlls"
ln -sfn /usr/lib/i386-linux-gnu/wine/i386-windows "$dlls/i386-windows"
ln -sfn /usr/lib/x86_64-linux-gnu/wine/x86_64-unix "$dlls/x86_64-unix"

version=$(chroot "$FINDRAIL_WINE_ROOT" dpkg-query -W -f='${Version}' wine64 2>/dev/null || true)
case "$version" in
    10.*) ;;
    *) fail "the root holds Wine '$version', not Wine 10" ;;
esac
[ -f "$FINDRAIL_WINE_ROOT/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll" ] ||
    fail "the 32-bit Windows side of Wine is missing from the root"

echo "Wine $version, Debian $FINDRAIL_WINE_SUITE, $(date -u +%Y-%m-%d)" >"$FINDRAIL_WINE_ROOT/$FINDRAIL_WINE_MARKER"
echo "Wine root ready in $(($(date +%s) - start)) s: $FINDRAIL_WINE_ROOT," \
    "$(du -sh "$FINDRAIL_WINE_ROOT" 2>/dev/null | cut -f1)"
