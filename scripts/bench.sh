#!/usr/bin/env bash
# Encoding detection speed beside memchr and a plain byte loop over the same buffers (MB/s).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null
cmake --build --preset native --target detector_benchmark
build/native/bin/detector_benchmark --benchmark_min_time=0.5 "$@"
