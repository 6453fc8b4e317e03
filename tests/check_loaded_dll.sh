#!/bin/sh
# Runs the stand-in host under Wine and checks that the plug-in it loaded is the built file itself: the path
# the Windows loader reports and the SHA-256 of its bytes against this system's own sha256sum of the file;
# and that the host, with its heap check asked for, ended well.
#   check_loaded_dll.sh <wine runner> <StandInHost.exe> <FindRail.dll>
set -u
wine=$1
host=$2
dll=$3
log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$wine" "$host" --heap-check --log "Z:$log" quit </dev/null >/dev/null 2>&1
code=$?
line=$(grep '^loaded ' "$log" | tr -d '\r')
[ -n "$line" ] || { echo "the host logged no load: $(cat "$log")"; exit 1; }
expected_path="Z:$(printf '%s' "$dll" | tr / '\\')"
expected_sha=$(sha256sum "$dll" | cut -d' ' -f1)
loaded_path=${line#loaded }
loaded_path=${loaded_path% sha256 *}
loaded_sha=${line##* sha256 }
echo "$line"
fail=0
# 3: heap checking off for the host; any other failure, e.g. a damaged heap, is logged by the host.
[ "$code" -eq 0 ] || { echo "the host exited with $code: $(tr -d '\r' < "$log")"; fail=1; }
# The loader may report the path in another letter case.
[ "$(printf '%s' "$loaded_path" | tr a-z A-Z)" = "$(printf '%s' "$expected_path" | tr a-z A-Z)" ] ||
    { echo "loaded $loaded_path, expected $expected_path"; fail=1; }
[ "$loaded_sha" = "$expected_sha" ] || { echo "loaded bytes with SHA-256 $loaded_sha, the file has $expected_sha"; fail=1; }
exit $fail
