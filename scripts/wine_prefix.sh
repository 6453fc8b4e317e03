#!/usr/bin/env bash
# Makes a Wine prefix for one build folder from the machine's prefix template, in well under a second:
#   scripts/wine_prefix.sh DIR      make DIR a prefix when it is missing, made by Wine or from an older template
# The template is made once per machine beside the Wine root ($FINDRAIL_WINE_ROOT.prefix), under the root's
# lock, and again whenever the root is remade. Its copy of Wine's own files (the DLL folders, most of a prefix)
# is hard links to the root's identical files; a prefix hard-links those folders in turn and copies the rest
# (registry, user folders, ini files), which is what Wine writes. Wine rewrites the DLL folders in place only
# when it updates a prefix, so a prefix never updates itself: it is made again from the template instead.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"

fail() {
    echo "wine_prefix.sh: $*" >&2
    exit 1
}

[ $# -eq 1 ] || fail "usage: wine_prefix.sh DIR"
root_marker="$FINDRAIL_WINE_ROOT/$FINDRAIL_WINE_MARKER"
[ -f "$root_marker" ] || fail "no Wine root in $FINDRAIL_WINE_ROOT; run scripts/setup.sh first"
template=$FINDRAIL_WINE_TEMPLATE
marker=$FINDRAIL_WINE_TEMPLATE_MARKER
# The folders that only Wine's own files fill; everything else in a prefix is the prefix's own.
shared=(drive_c/windows/system32 drive_c/windows/syswow64 drive_c/windows/winsxs)

# What the template records: the root it was made from, so that a remade root means a remade template.
template_stamp() {
    echo "template of $(cat "$root_marker") (root marked $(stat -c %y "$root_marker"))"
}

make_template() {
    echo "Making the Wine prefix template in $template (once per machine, about half a minute)"
    rm -rf "$template"
    mkdir -p "$template"
    # Always the same English prefix, whatever the caller's locale and display; Wine adapts the locale at
    # each start, and the display settings are written into each prefix's own registry.
    (
        cd "$template"
        export WINEPREFIX="$template" WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml="
        env -u LC_ALL -u LANG -u LANGUAGE -u DISPLAY -u WAYLAND_DISPLAY "$here/wine.sh" wineboot -i \
            </dev/null >/dev/null 2>&1 && "$here/wine.sh" --server -w
    ) 9>&- || fail "wineboot could not make the template"
    [ -f "$template/system.reg" ] && [ -f "$template/drive_c/windows/system32/kernel32.dll" ] ||
        fail "the template in $template is incomplete"
    # Wine's DLLs in a prefix are byte copies of the root's: hard links to those take no disk.
    local lib="$FINDRAIL_WINE_ROOT/usr/lib" file name source
    local sources=("$lib/x86_64-linux-gnu/wine/x86_64-windows" "$lib/i386-linux-gnu/wine/i386-windows"
        "$FINDRAIL_WINE_ROOT/usr/share/wine/nls")
    while IFS= read -r -d '' file; do
        name=${file##*/}
        for source in "${sources[@]}"; do
            if [ -f "$source/$name" ] && cmp -s "$file" "$source/$name"; then
                ln -f "$source/$name" "$file" 2>/dev/null || true
                break
            fi
        done
    done < <(find "${shared[@]/#/$template/}" -type f -print0 2>/dev/null)
    template_stamp >"$template/$marker"
}

template_current() {
    [ -f "$template/$marker" ] && [ "$(cat "$template/$marker")" = "$(template_stamp)" ]
}

prefix=$1
case "$prefix" in /*) ;; *) prefix=$(pwd)/$prefix ;; esac
prefix_current() {
    [ -f "$prefix/$marker" ] && template_current && cmp -s "$prefix/$marker" "$template/$marker"
}
if prefix_current; then
    exit 0
fi

# One lock for the root, the template and every prefix made from it: a prefix is copied while no run
# remakes the template, and two runs that want the same prefix make it once.
exec 9>"$FINDRAIL_WINE_ROOT.lock"
flock 9
if ! template_current; then
    make_template
fi
if prefix_current; then
    exit 0
fi

# Only a Wine prefix (or nothing) is replaced, never a folder named by mistake.
if [ -e "$prefix" ] && [ ! -f "$prefix/system.reg" ] && [ -n "$(ls -A "$prefix")" ]; then
    fail "$prefix is not a Wine prefix; not replacing it"
fi
start=$(date +%s%N)
# Made beside it and renamed into place, so that the prefix is whole or absent even when this is killed.
staging=$prefix.new
rm -rf "$staging"
mkdir -p "$staging"
excludes=(--exclude="./$marker")
for dir in "${shared[@]}"; do
    excludes+=(--exclude="./$dir")
done
(cd "$template" && tar -cf - "${excludes[@]}" .) | (cd "$staging" && tar -xpf -)
for dir in "${shared[@]}"; do
    # A build folder on another file system than the cache gets a plain copy.
    if [ -d "$template/$dir" ] && ! cp -al "$template/$dir" "$staging/$dir" 2>/dev/null; then
        rm -rf "${staging:?}/$dir"
        cp -a "$template/$dir" "$staging/$dir"
    fi
done
# Wine updates a prefix whose stamp differs from its wine.inf's time; "disable" rules that out for good.
printf 'disable\n' >"$staging/.update-timestamp"
cp "$template/$marker" "$staging/$marker"
if [ -e "$prefix" ]; then
    # A server still running on the old prefix would keep writing into it.
    (cd "$prefix" && WINEPREFIX="$prefix" "$here/wine.sh" --server -k) >/dev/null 2>&1 9>&- || true
    rm -rf "$prefix"
fi
mv "$staging" "$prefix"
elapsed=$((($(date +%s%N) - start) / 1000000))
echo "Wine prefix ready in $((elapsed / 1000)).$(printf '%03d' $((elapsed % 1000))) s: $prefix"
