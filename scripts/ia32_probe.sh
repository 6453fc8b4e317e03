#!/usr/bin/env bash
# Exits 0 when this machine can run 32-bit Windows programs under Wine's WoW64 mode, 1 (with the reason on
# stderr) when it cannot. WoW64 gives each 32-bit thread its segment through the kernel's 32-bit system-call
# gate (int 0x80); kernels built or booted without 32-bit emulation, and some hypervisors, refuse that gate
# with a protection fault, and every 32-bit program then dies before its first instruction.
set -uo pipefail
probe_dir=${TMPDIR:-/tmp}/findrail-ia32-probe-$(id -u)
mkdir -p "$probe_dir"
if [ ! -x "$probe_dir/probe" ]; then
    # getpid through the 32-bit gate (its number there is 20) must answer the process's own id.
    cat >"$probe_dir/probe.c" <<'C'
#include <unistd.h>
int main(void) {
    long result = 20;
    __asm__ volatile("int $0x80" : "+a"(result) : : "memory");
    return result == (long)getpid() ? 0 : 1;
}
C
    cc -O0 -o "$probe_dir/probe.new" "$probe_dir/probe.c" || { echo "ia32_probe.sh: no C compiler" >&2; exit 1; }
    mv "$probe_dir/probe.new" "$probe_dir/probe"
fi
# Run from a child shell whose own report of the crash goes nowhere.
if bash -c '"$1"; exit $?' probe "$probe_dir/probe" >/dev/null 2>&1; then
    exit 0
fi
echo "this machine's kernel refuses 32-bit system calls (int 0x80), which Wine needs to run 32-bit Windows" \
     "programs" >&2
exit 1
