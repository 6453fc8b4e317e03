#!/usr/bin/env bash
# Builds FindRail.dll, the shipping 32-bit DLL, and shows it at work in the 32-bit stand-in host under Wine's
# WoW64 mode and Xvfb, on a Japanese Windows (code page 932) as FindRail's users have: a Japanese search text
# is typed into the bar and Enter pressed.
# Leaves the screenshot in build/demo/findrail-demo.png. Fails, after the log, when the host exits with any status
# but 0 (116 is heap damage, 0xC0000374, as the shell sees it).
# On a machine whose kernel cannot run 32-bit programs (scripts/ia32_probe.sh), the x86_64 build of the same
# code runs in the 64-bit stand-in host instead, and the run says so; the release zip is the i686 build's.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
root=$(pwd)
jobs=$(nproc)

# Configured exactly as the test command configures it, so that either command can run first.
if scripts/ia32_probe.sh; then
    wine32=ON
    tree=i686
else
    wine32=OFF
    tree=x64
fi
cmake --preset i686 -DFINDRAIL_TESTS=ON -DFINDRAIL_WINE_TESTS=$wine32 >/dev/null
cmake --build --preset i686 -j"$jobs" --target FindRail
dll=build/i686/bin/FindRail.dll
echo "Shipping DLL: $dll ($(stat -c %s "$dll") bytes, SHA-256 $(sha256sum "$dll" | cut -d' ' -f1))"
if [ $tree = x64 ]; then
    cmake --preset x64 -DFINDRAIL_TESTS=ON >/dev/null
    dll=build/x64/bin/FindRail.dll
    echo "This machine cannot run 32-bit programs: the demo runs $dll, the x86_64 build of the same commit"
fi
cmake --build --preset $tree -j"$jobs" --target FindRail StandInHost

demo="$root/build/demo"
mkdir -p "$demo"
export WINEPREFIX="$demo/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A Japanese Windows: Wine takes it from LC_ALL. glibc has no ja_JP locale here and would read the command
# line as ASCII, so the name is given the data of C.UTF-8, as the 32-bit test tier does.
mkdir -p "$demo/locale"
ln -sfn /usr/lib/locale/C.utf8 "$demo/locale/ja_JP.UTF-8"
japanese=(env LC_ALL=ja_JP.UTF-8 LOCPATH="$demo/locale")
wine="$root/scripts/wine.sh"
. scripts/wine_env.sh
scripts/wine_prefix.sh "$WINEPREFIX"

# Wine does no glyph fallback: the Japanese faces the bar and the host ask for are mapped to the IPA fonts.
{
    printf '\xff\xfe'
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n%s\r\n%s\r\n%s\r\n%s\r\n%s\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n' \
        '"MS UI Gothic"="IPAPGothic"' '"ＭＳ Ｐゴシック"="IPAPGothic"' '"MS PGothic"="IPAPGothic"' \
        '"ＭＳ ゴシック"="IPAGothic"' '"MS Gothic"="IPAGothic"' | iconv -f UTF-8 -t UTF-16LE
} > "$demo/fonts.reg"

# Caption buttons are drawn with Marlett, which this Wine does not load from its own folder.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp -f "$FINDRAIL_WINE_ROOT/usr/share/wine/fonts/marlett.ttf" "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true

log="$demo/host.log"
shot="$demo/findrail-demo.png"
status_file="$demo/host-status.txt"
rm -f "$log" "$shot" "$status_file"

"${japanese[@]}" xvfb-run -a -s "-screen 0 680x400x24" bash -c '
    set -e
    "'"$wine"'" --server -k 2>/dev/null || true
    "'"$wine"'" regedit /S "'"$demo/fonts.reg"'" </dev/null >/dev/null 2>&1
    "'"$wine"'" reg query "HKLM\System\CurrentControlSet\Control\Nls\CodePage" /v ACP </dev/null 2>/dev/null |
        tr -d "\r" >"'"$demo/codepage.txt"'"
    "'"$wine"'" "'"$root/build/$tree/bin/StandInHost.exe"'" --document "'"$root/host/demo_document.txt"'" \
        --log "'"$log"'" open focus wait:500 type:正規表現 wait:500 enter wait:8000 quit &
    host=$!
    for _ in $(seq 1 120); do
        grep -q "^2077 " "'"$log"'" 2>/dev/null && break
        sleep 0.5
    done
    sleep 1.5
    xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng > "'"$shot"'"
    # Kept for after the screenshot and the log: the shell sees the low byte of a Windows exit code.
    status=0
    wait $host || status=$?
    echo $status >"'"$status_file"'"
    "'"$wine"'" --server -k 2>/dev/null || true
'

echo "--- what the stand-in host received"
cat "$log" 2>/dev/null || echo "(no log)"
status=$(cat "$status_file" 2>/dev/null || echo unknown)
if [ "$status" != 0 ]; then
    case $status in
        116) meaning=" (0xC0000374 & 0xFF: a heap was damaged)" ;;
        *) meaning="" ;;
    esac
    echo "The stand-in host's run went wrong: exit status $status$meaning" >&2
    exit 1
fi
# The host logs the file that the Windows loader took and its digest: it must be the DLL just built.
loaded=$(sed -n 's/^loaded .* sha256 \([0-9a-f]*\).*/\1/p' "$log" | tr -d '\r')
if [ "$loaded" != "$(sha256sum "$dll" | cut -d' ' -f1)" ]; then
    echo "The host did not run $dll" >&2
    exit 1
fi
echo "The stand-in host ($tree) ran $dll (SHA-256 $loaded)"
# The Windows the demo ran on: system code page 932, not an English fallback.
acp=$(sed -n 's/^ *ACP *REG_SZ *\([0-9]*\)$/\1/p' "$demo/codepage.txt")
if [ "$acp" != 932 ]; then
    echo "The demo did not run as a Japanese Windows: system code page '$acp'" >&2
    exit 1
fi
echo "System code page: $acp"
# The typed text crosses from this shell's command line into Windows: a wrong Unix code page mangles it.
if ! tr -d '\r' <"$log" | grep -q '^2077 .* text=正規表現$'; then
    echo "The host was not asked to search for 正規表現" >&2
    exit 1
fi
if [ -s "$shot" ]; then
    echo "Screenshot: $shot"
else
    echo "No screenshot was taken" >&2
    exit 1
fi

# The release zip of the DLL that just ran, with its checksum file beside it.
echo "--- release"
scripts/package.sh
