#!/bin/sh
# check_link_map.sh <dll> <link map>: fails, and removes the DLL, when the link took anything of the C++
# runtime or of GCC's unwinder; the archive members it took are listed.
dll=$1
map=$2
found=$(grep -oE '[^ (]*lib(stdc\+\+|supc\+\+|gcc_eh|gcc_s)[^/ ]*\.a\([^)]*\)' "$map" | sort -u)
if [ -n "$found" ]; then
    echo "$found"
    rm -f "$dll"
    echo "$dll links the C++ runtime or the unwinder (above); it must not"
    exit 1
fi
