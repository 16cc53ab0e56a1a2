#!/usr/bin/env bash
# Builds vorn and runs its whole test suite: unit tests and end-to-end tests
# of the native build. Under CI (CI=true) compiler warnings are errors.
set -euo pipefail
cd "$(dirname "$0")/.."

werror=OFF
if [[ "${CI:-}" == true ]]; then werror=ON; fi

cmake -S . -B build -DVORN_WERROR="$werror" -DVORN_BUILD_TESTS=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
