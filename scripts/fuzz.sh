#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan, UBSan) and runs each for a while, keeping its corpus.
#   scripts/fuzz.sh [seconds per target, default 600] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(detect_fuzz ini_text_fuzz)
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}"
for target in "${targets[@]}"; do
    corpus=build/fuzz/corpus/$target
    mkdir -p "$corpus"
    echo "== $target for $seconds s"
    nice -n 10 "build/fuzz/bin/$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$corpus"
done
