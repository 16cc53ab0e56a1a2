#!/usr/bin/env bash
# Builds vorn and runs its whole test suite: unit tests and end-to-end tests
# of the native build (the CMake preset "tests", in build/; compiler warnings
# are errors).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset tests
cmake --build --preset tests -j"$(nproc)"
ctest --preset tests -j"$(nproc)"
