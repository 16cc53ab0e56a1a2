#!/usr/bin/env bash
# Builds build-bench/ (the default build type, with the benchmarks) and runs
# the microbenchmarks; arguments go to vorn_bench, e.g.
#
#   bench/micro.sh --benchmark_filter=64MiB --benchmark_min_time=0.5
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build-bench}
# As bench/compare.sh configures it: its vorn looks for no installed table.
cmake -S "$ROOT" -B "$BUILD" -DVORN_BUILD_BENCHMARKS=ON \
  -DVORN_SYSTEM_TABLE="$BUILD/no-installed-table/MS932~EUC-JP.bin" >/dev/null
cmake --build "$BUILD" -j"$(nproc)" >/dev/null
exec "$BUILD/bench/vorn_bench" "$@"
