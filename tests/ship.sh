#!/usr/bin/env bash
# What vorn ships, checked as a new user meets it.  Builds the Debian
# package (the CMake preset "deb": build-deb, prefix /usr; cpack must refuse
# another prefix) and the Windows ZIP (the preset "windows": build-windows),
# as the README says, then:
#
# - in a freshly bootstrapped Debian 12 (minimal, empty package lists, no
#   sudo), runs the README's two set-up commands verbatim as root: the first
#   in a terminal, whose last lines must be the ones the README shows; then
#   configures a plain build without GoogleTest and installs vorn from the
#   first command's build (`cmake --install build`), so that the second
#   command, the whole test suite of both platforms, proves that the tests
#   ignore an installed vorn;
# - in another fresh root, installs the .deb with apt-get, runs vorn in an
#   empty folder, checks the table it writes, and removes the package;
#   then a user who may use sudo runs the README's first command there;
# - compares the ZIP's standard table, made by vorn-table.exe under Wine,
#   with the Debian package's byte for byte, unpacks the ZIP into the C:\
#   of a new Wine prefix and runs vorn.exe -w from an empty folder, which
#   must name C:\vorn\MS932~EUC-JP.bin, and vorn-table.exe unmapped, which
#   must find that table too.
#
# Needs root (debootstrap, chroot, mounts), the network to the package
# archive the machine uses, and the packages of `tools/setup.sh ci`.  CI=true
# is handed on to the fresh root's test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
jobs=$(nproc)
wine=/usr/lib/wine/wine64

if ((EUID != 0)); then
  echo "tests/ship.sh: needs root (debootstrap, chroot, mounts)" >&2
  exit 1
fi

stage_start=$SECONDS
stage() {
  echo "== $1 (previous stage: $((SECONDS - stage_start)) s)"
  stage_start=$SECONDS
}
fail() {
  echo "tests/ship.sh: $*" >&2
  exit 1
}

# The roots are large (the second holds compilers and Wine): they live on
# disk, not in a tmpfs /tmp.
work=$(mktemp -d /var/tmp/vorn-ship-XXXXXX)
roots=()
bootstrap=
cleanup() {
  local root pid
  if [[ -n $bootstrap ]]; then
    kill "$bootstrap" 2>/dev/null || true
    wait "$bootstrap" 2>/dev/null || true
  fi
  for root in "${roots[@]}"; do
    # Whatever the checks left running inside the root (a lingering
    # wineserver) holds its mounts.
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
      if [[ "$(readlink "/proc/$pid/root" 2>/dev/null)" == "$root" ]]; then
        kill -9 "$pid" 2>/dev/null || true
      fi
    done
    umount -R "$root/dev" "$root/proc" 2>/dev/null || true
  done
  if [[ -d $work/wine-prefix ]]; then
    WINEPREFIX=$work/wine-prefix "$(dirname "$wine")/wineserver" -k 2>/dev/null || true
  fi
  # Never remove through a mount that is still there (the host's /dev).
  if grep -q " $work/" /proc/self/mounts; then
    echo "tests/ship.sh: $work still has mounts; left in place" >&2
  else
    rm -rf --one-file-system "$work"
  fi
}
trap cleanup EXIT

# A fresh Debian 12 root, bootstrapped while the packages are built, from
# the archive the machine itself installs bookworm from.
mirror=$(apt-get indextargets --format '$(SITE) $(RELEASE)' 'Identifier: Packages' |
  awk '$2 == "bookworm" { print $1; exit }')
[[ -n $mirror ]] || fail "no bookworm archive among the machine's apt sources"
fresh=$work/fresh
debootstrap --variant=minbase bookworm "$fresh" "$mirror" >"$work/debootstrap.log" 2>&1 &
bootstrap=$!

stage "Debian package (build-deb)"
cmake --preset deb >/dev/null
cmake --build --preset deb -j"$jobs" --target package
debs=(build-deb/vorn_*_amd64.deb)
((${#debs[@]} == 1)) || fail "expected one package in build-deb: ${debs[*]}"
deb=$repo/${debs[0]}
echo "${debs[0]}: Depends: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -c "$deb"
# A package for another prefix would put the table where the programs never
# look: cpack refuses it.
if (cd build-deb && cpack -D CPACK_PACKAGING_INSTALL_PREFIX=/opt >"$work/cpack.log" 2>&1); then
  fail "cpack made a package for /opt from a build for /usr"
fi
grep -q "this build looks for its table under /usr, not under /opt" "$work/cpack.log" ||
  fail "cpack failed otherwise: $(cat "$work/cpack.log")"

stage "Windows ZIP (build-windows)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs" --target package
zips=(build-windows/vorn-*-win64.zip)
((${#zips[@]} == 1)) || fail "expected one ZIP in build-windows: ${zips[*]}"
zip=$repo/${zips[0]}
cmake -E tar tvf "$zip"
# One folder at the top, vorn\, and in it what Windows users need.
[[ "$(cmake -E tar tf "$zip" | sort | tr '\n' ' ')" == \
  "vorn/ vorn/MS932~EUC-JP.bin vorn/README.txt vorn/vorn-table.exe vorn/vorn.exe " ]] ||
  fail "the ZIP holds other files: $(cmake -E tar tf "$zip")"

stage "a fresh Debian 12 root (bootstrapped meanwhile)"
wait "$bootstrap" || {
  tail -n 40 "$work/debootstrap.log" >&2
  fail "debootstrap failed"
}
bootstrap=
# As a new system has it: no package lists, no downloaded packages.
find "$fresh/var/lib/apt/lists" "$fresh/var/cache/apt/archives" -maxdepth 1 -type f -delete
cp /etc/resolv.conf "$fresh/etc/resolv.conf"
# The second root starts as a copy of the first, as fresh as it.
cp -a "$fresh" "$work/deb-root"

# Mounts /proc and /dev in a root, for its programs (and the tests'
# pseudo-terminals).
prepare_root() {
  mount -t proc proc "$1/proc"
  mount --rbind /dev "$1/dev"
  mount --make-rslave "$1/dev"
  roots+=("$1")
}
# The environment of a root's programs: that of a new login as root on a
# fresh system, where no locale is set.  The commands type characters in
# UTF-8, which vorn and vorn-table take the C locale to be.
root_env=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
  ${CI:+CI="$CI"})
# Runs a command as root in a root, with no input.
in_root() {
  local root=$1
  shift
  chroot "$root" /usr/bin/env -i "${root_env[@]}" "$@" </dev/null
}

# The README's set-up commands: its first two code blocks, one line each.
readme_commands=$(awk '
  /^```/ { inside = !inside; if (!inside && ++blocks == 2) exit; next }
  inside { if (++lines[blocks] > 1) exit 1; print }' README.md) ||
  fail "the README's first two code blocks must be one command each"
mapfile -t commands <<<"$readme_commands"
((${#commands[@]} == 2)) || fail "the README's first two code blocks must be one command each"
# The lines the README says the first command ends with.
expected_end=$(awk '
  /^The first command ends with/ { found = 1; next }
  found && /^```/ { if (inside) exit; inside = 1; next }
  inside' README.md)
[[ -n $expected_end ]] || fail "the README shows no output of the first command"

stage "README commands in the fresh root"
prepare_root "$fresh"
git clone --quiet "$repo" "$fresh/root/vorn"
for i in 0 1; do
  printf 'cd /root/vorn\n%s\n' "${commands[i]}" >"$fresh/root/readme-command-$((i + 1))"
done
start=$SECONDS
# In a terminal, as the README shows its output.
script -qefc "$(printf '%q ' chroot "$fresh" /usr/bin/env -i "${root_env[@]}" TERM=xterm \
  bash /root/readme-command-1)" /dev/null </dev/null | tee "$work/first-command.log"
first_seconds=$((SECONDS - start))
actual_end=$(tr -d '\r' <"$work/first-command.log" | tail -n "$(wc -l <<<"$expected_end")")
if [[ $actual_end != "$expected_end" ]]; then
  diff <(echo "$expected_end") <(echo "$actual_end") >&2 || true
  fail "the first command does not end as the README shows"
fi
# The README's Install section: a plain configure needs no GoogleTest (not
# installed yet) and says that the tests are left out.
in_root "$fresh" bash -c 'cd /root/vorn && cmake -S . -B /tmp/plain' >"$work/plain.log" 2>&1 || {
  cat "$work/plain.log" >&2
  fail "cmake -S . -B build fails without GoogleTest"
}
grep -q "^-- Tests not built: " "$work/plain.log" || fail "no note that the tests are not built"
in_root "$fresh" bash -c 'cd /root/vorn && cmake --install build >/dev/null'
[[ -f "$fresh/usr/local/share/vorn/MS932~EUC-JP.bin" ]] ||
  fail "cmake --install build installed no table"
start=$SECONDS
in_root "$fresh" bash /root/readme-command-2
second_seconds=$((SECONDS - start))

stage "the Debian package in another fresh root"
deb_root=$work/deb-root
prepare_root "$deb_root"
cp "$deb" "$deb_root/tmp/"
in_root "$deb_root" bash -c 'cd /tmp && apt-get update -qq &&
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ./vorn_*.deb' >"$work/deb-install.log" 2>&1 || {
  cat "$work/deb-install.log" >&2
  fail "apt-get install ./$(basename "$deb") failed"
}
in_root "$deb_root" dpkg -L vorn | sort >"$work/deb-files"
echo "installed files:"
cat "$work/deb-files"
mkdir "$deb_root/tmp/empty"
in_root "$deb_root" bash -c 'cd /tmp/empty && vorn -s① -e１ -w' >"$work/vorn.out"
# Not a terminal: the lines are code page 932 bytes ended by CR LF.
printf '/usr/share/vorn/MS932~EUC-JP.bin is primarily accessible to vorn.\r\n8740 \x81\xcb 8250\r\n' |
  cmp - "$work/vorn.out" || fail "vorn -s① -e１ -w printed other lines: $(od -c "$work/vorn.out")"
status=0
in_root "$deb_root" bash -c 'cd /tmp/empty &&
  vorn-table diff /usr/share/vorn/MS932~EUC-JP.bin MS932~EUC-JP.bin' >"$work/diff.out" || status=$?
printf '8740 ①: 00 00 unmapped | A3 B1 １\n1 code differs\n' | cmp - "$work/diff.out" &&
  ((status == 1)) || fail "the table vorn wrote differs otherwise: $(cat "$work/diff.out")"
in_root "$deb_root" bash -c 'DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq vorn' \
  >"$work/deb-remove.log" 2>&1 || {
  cat "$work/deb-remove.log" >&2
  fail "apt-get remove vorn failed"
}
# Gone: every file of the package and its own folders (named vorn); the
# folders it shares with the system stay.
while read -r path; do
  if [[ -e $deb_root$path ]] && [[ ! -d $deb_root$path || $path == */vorn ]]; then
    fail "apt-get remove vorn left $path"
  fi
done <"$work/deb-files"
in_root "$deb_root" dpkg-query -W -f='${db:Status-Abbrev}\n' vorn 2>/dev/null | grep -q '^ii' &&
  fail "vorn is still installed after apt-get remove vorn"
echo "apt-get install, vorn -s① -e１ -w and apt-get remove vorn: as expected"

stage "README's first command as a user with sudo"
# The same root, vorn removed: a user who may use sudo runs the first
# command, whose set-up must then install through sudo, again with no
# package lists.
in_root "$deb_root" bash -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y -qq sudo &&
  useradd --create-home dev && echo "dev ALL=(ALL) NOPASSWD: ALL" >/etc/sudoers.d/dev' \
  >"$work/sudo-install.log" 2>&1 || {
  cat "$work/sudo-install.log" >&2
  fail "could not make a user with sudo"
}
find "$deb_root/var/lib/apt/lists" -maxdepth 1 -type f -delete
git clone --quiet "$repo" "$deb_root/home/dev/vorn"
printf 'cd ~/vorn\n%s\n' "${commands[0]}" >"$deb_root/home/dev/readme-command-1"
in_root "$deb_root" chown -R dev:dev /home/dev
start=$SECONDS
in_root "$deb_root" setpriv --reuid=dev --regid=dev --init-groups \
  /usr/bin/env -i HOME=/home/dev PATH=/usr/local/bin:/usr/bin:/bin bash /home/dev/readme-command-1 \
  >"$work/user-command.log" 2>&1 || {
  cat "$work/user-command.log" >&2
  fail "the README's first command fails for a user with sudo"
}
grep -q "^tools/setup.sh: installing cmake make g++" "$work/user-command.log" ||
  fail "the first command installed nothing for the user: $(head -n 5 "$work/user-command.log")"
echo "README's first command as a user with sudo: passed in $((SECONDS - start)) s"

stage "the Windows ZIP in a new Wine prefix"
prefix=$work/wine-prefix
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
"$wine" wineboot >/dev/null 2>&1 </dev/null
(cd "$prefix/drive_c" && cmake -E tar xf "$zip")
readme=$prefix/drive_c/vorn/README.txt
[[ $(grep -c $'\r$' "$readme") == $(wc -l <"$readme") ]] || fail "README.txt has line ends other than CR LF"
# Every DLL the programs import is one of the new prefix's own.
for program in vorn.exe vorn-table.exe; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$prefix/drive_c/vorn/$program" |
    sed -n 's/^\tDLL Name: //p'); do
    [[ -n $(find "$prefix/drive_c/windows/system32" -maxdepth 1 -iname "$dll") ]] ||
      fail "$program needs $dll, which Windows does not have"
  done
done
# The table vorn-table.exe made under Wine is the one vorn-table makes on
# Linux, byte for byte.
cmp "$prefix/drive_c/vorn/MS932~EUC-JP.bin" "build-deb/standard-table/MS932~EUC-JP.bin" ||
  fail "the ZIP's table differs from the Debian package's"
echo "the ZIP's table is the Debian package's, byte for byte"
mkdir "$work/empty"
(cd "$work/empty" && "$wine" 'C:\vorn\vorn.exe' -w </dev/null >"$work/vorn-exe.out")
head -n 1 "$work/vorn-exe.out" | cmp - <(printf 'C:\\vorn\\MS932~EUC-JP.bin is primarily accessible to vorn.\r\n') ||
  fail "vorn.exe -w printed: $(od -c "$work/vorn-exe.out")"
[[ -f "$work/empty/MS932~EUC-JP.bin" ]] || fail "vorn.exe -w wrote no table"
echo "vorn.exe -w from an empty folder: $(head -n 1 "$work/vorn-exe.out" | tr -d '\r')"
# vorn-table.exe finds the table in C:\vorn too, from another empty folder.
mkdir "$work/empty-too"
(cd "$work/empty-too" && "$wine" 'C:\vorn\vorn-table.exe' unmapped </dev/null >"$work/vorn-table-exe.out")
tail -n 1 "$work/vorn-table-exe.out" | cmp - <(echo "2713 unmapped of 9762 records") ||
  fail "vorn-table.exe unmapped printed: $(tail -n 1 "$work/vorn-table-exe.out")"
echo "vorn-table.exe unmapped from an empty folder: $(tail -n 1 "$work/vorn-table-exe.out")"

stage "done"
echo "README's first command in a fresh root: $first_seconds s; second command: $second_seconds s"
echo "ship checks passed in $SECONDS s"
