#!/bin/sh
# Checks a built FindRail.dll from its headers: the seven exports by name at ordinals 1 to 7, no decorated
# names, imports of system DLLs only, the Windows GUI subsystem, and the resources it must carry.
set -u
objdump=$1
dll=$2
fail=0
[ -f "$dll" ] || { echo "missing $dll"; exit 1; }
dump=$("$objdump" -p "$dll")

# "[   n] Name" lines of the name table: ordinal = n + 1 (ordinal base 1).
table=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s+\[ *[0-9]+\] ')
echo "$dump" | grep -q 'Ordinal Base[[:space:]]*1' || { echo "ordinal base is not 1"; fail=1; }
count=$(printf '%s\n' "$table" | grep -c .)
[ "$count" -eq 7 ] || { echo "expected 7 exported names, found $count"; fail=1; }
# No export by ordinal alone: the address table holds the seven named ones only.
echo "$dump" | grep -Eq '^\s+Export Address Table\s+00000007$' || { echo "the address table is not 7 entries"; fail=1; }
ordinal=1
for name in OnCommand QueryStatus GetMenuTextID GetStatusMessageID GetIconID OnEvents PluginProc; do
    index=$((ordinal - 1))
    printf '%s\n' "$table" | grep -Eq "^\s+\[ *$index\] $name\$" || { echo "$name is not at ordinal $ordinal"; fail=1; }
    ordinal=$((ordinal + 1))
done
printf '%s\n' "$table" | grep -q '@' && { echo "decorated export names"; fail=1; }

imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z')
for dll_name in $imports; do
    case "$dll_name" in
        KERNEL32.DLL|USER32.DLL|GDI32.DLL|SHELL32.DLL|SHLWAPI.DLL|MSVCRT.DLL|ADVAPI32.DLL|COMCTL32.DLL|OLE32.DLL) ;;
        *) echo "imports a non-system DLL: $dll_name"; fail=1 ;;
    esac
done

# A GUI plug-in: tools show the subsystem the header names, and the linker's default for a DLL is the console.
echo "$dump" | grep -Eq '^Subsystem[[:space:]]+00000002' || { echo "subsystem is not Windows GUI (2)"; fail=1; }

size=$(stat -c %s "$dll")
echo "size $size bytes"
[ "$fail" -eq 0 ] && echo "ok: 7 exports at ordinals 1-7; imports: $(echo $imports)"
exit $fail
