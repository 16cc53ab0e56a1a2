#!/usr/bin/env bash
# Installs the Debian packages one kind of work on vorn needs, and only
# those missing: when nothing is missing it changes nothing and asks for no
# password.  apt-get runs directly as root and through sudo otherwise, after
# an update of the package lists (a fresh system has none); its output goes
# to a log that is shown only when it fails.
#
#   tools/setup.sh build     build vorn and vorn-table
#   tools/setup.sh tests     ... and run the test suites, Linux and Windows
#                            (tests/run.sh, tests/run_windows.sh)
#   tools/setup.sh package   ... build the Debian package (cmake --build
#                            BUILD --target package)
#   tools/setup.sh ci        everything .ci/run does: the above, the
#                            reliability checks and the fresh-root checks
set -euo pipefail

build=(cmake make g++)
# The fault tests use access lists, extended attributes, strace's injected
# failures and an ext4 image; the chart's test a headless Chromium and a
# Japanese font.
tests=("${build[@]}" libgtest-dev libgmock-dev python3 groff-base util-linux locales
  acl attr strace e2fsprogs chromium fonts-ipafont-gothic
  g++-mingw-w64-x86-64-posix wine64 googletest)
# The package's dependencies are computed by dpkg-shlibdeps, which needs
# file(1) to find the programs in it.
package=("${build[@]}" dpkg-dev file)
ci=("${tests[@]}" "${package[@]}" clang-14 libclang-rt-14-dev clang-tidy-14 cppcheck valgrind
  debootstrap debian-archive-keyring)

case "${1:-}" in
  build) wanted=("${build[@]}") ;;
  tests) wanted=("${tests[@]}") ;;
  package) wanted=("${package[@]}") ;;
  ci) wanted=("${ci[@]}") ;;
  *)
    echo "usage: tools/setup.sh build|tests|package|ci" >&2
    exit 2
    ;;
esac

missing=()
for name in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$name" 2>/dev/null || true)
  if [[ $status != ii* && " ${missing[*]} " != *" $name "* ]]; then
    missing+=("$name")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

if ! command -v apt-get >/dev/null; then
  echo "tools/setup.sh: needs Debian's apt-get; install ${missing[*]} by other means" >&2
  exit 1
fi
as_root=()
if ((EUID != 0)); then
  if ! command -v sudo >/dev/null; then
    echo "tools/setup.sh: installing ${missing[*]} needs root: run it as root or install sudo" >&2
    exit 1
  fi
  as_root=(sudo)
fi

echo "tools/setup.sh: installing ${missing[*]}" >&2
log=$(mktemp)
trap 'rm -f "$log"' EXIT
apt_get() {
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q -y -o Dpkg::Use-Pty=0 "$@" \
    >>"$log" 2>&1 || {
    cat "$log" >&2
    echo "tools/setup.sh: apt-get $1 failed" >&2
    exit 1
  }
}
apt_get update
apt_get install --no-install-recommends "${missing[@]}"
