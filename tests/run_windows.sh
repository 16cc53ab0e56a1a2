#!/usr/bin/env bash
# Builds the native Windows programs with their tests (the CMake preset
# "windows-tests": a MinGW-w64 cross build into build-windows; compiler
# warnings are errors) and runs the unit tests and the end-to-end suites
# under Wine.  Under CI (CI=true) missing tools are a failure; elsewhere the
# suite is skipped with a note when the tools are missing.
#
# Needs (Debian 12): apt-get install g++-mingw-w64-x86-64-posix wine64 locales googletest
set -euo pipefail
cd "$(dirname "$0")/.."

wine=/usr/lib/wine/wine64
missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
[[ -x "$wine" ]] || missing+=(wine64)
[[ -e /usr/share/i18n/locales/ja_JP ]] || missing+=(locales)
[[ -e /usr/src/googletest/CMakeLists.txt ]] || missing+=(googletest)
if ((${#missing[@]} > 0)); then
  echo "tests/run_windows.sh: the Windows suite needs: apt-get install ${missing[*]}" >&2
  if [[ "${CI:-}" == true ]]; then exit 1; fi
  echo "tests/run_windows.sh: Windows suite skipped" >&2
  exit 0
fi

cmake --preset windows-tests
cmake --build --preset windows-tests -j"$(nproc)"

# The tests start Wine in the build tree's own prefix; stop what is left of
# it (its server lingers) once they are done.
stop_wine() {
  WINEPREFIX="$PWD/build-windows/wine-prefix" "$(dirname "$wine")/wineserver" -k 2>/dev/null || true
}
trap stop_wine EXIT
ctest --preset windows-tests
