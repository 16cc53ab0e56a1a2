#!/usr/bin/env bash
# The reliability checks CI runs after the test suite: the whole suite again
# under AddressSanitizer + UndefinedBehaviorSanitizer, a few runs under
# valgrind, every system call of a run failing in turn (strace), clang-tidy
# and cppcheck, and every fuzz target for a bounded time.  Prints the time
# of each stage and the figures docs/reliability.md quotes.
# VORN_FUZZ_SECONDS sets the time per fuzz target (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
fuzz_seconds=${VORN_FUZZ_SECONDS:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

stage_start=$SECONDS
stage() {
  echo "== $1 (previous stage: $((SECONDS - stage_start)) s)"
  stage_start=$SECONDS
}

# The files of a compile database, without generated ones.
sources_of() {
  python3 -c 'import json, os, sys
for entry in json.load(open(sys.argv[1])):
    path = os.path.relpath(os.path.join(entry["directory"], entry["file"]))
    if not path.startswith("build"):
        print(path)' "$1" | sort -u
}

stage "sanitizers: unit and end-to-end tests under ASan + UBSan"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j"$jobs"
ctest --preset sanitize -j"$jobs"

stage "valgrind memcheck"
# The end-to-end suite's vorn, which looks for no table outside the build
# tree: an installed one would change what is checked.
cmake --preset tests >/dev/null
cmake --build --preset tests -j"$jobs" --target vorn-end-to-end vorn-table
vorn=$PWD/build/tests/vorn-end-to-end
mkdir "$work/valgrind"
(cd "$work/valgrind" && "$OLDPWD/build/vorn-table" make >/dev/null)
printf '\x87\x40\x82\x50\r\n\xc5N\r\n' >"$work/valgrind/bars.txt"
valgrind_runs=0
# Runs vorn under memcheck in the scratch folder and checks its exit status.
# vorn's own output is dropped; memcheck reports on descriptor 3, the
# script's standard error.
memcheck() {
  local expected=$1
  shift
  local status=0
  (cd "$work/valgrind" &&
    valgrind --quiet --log-fd=3 --error-exitcode=99 --leak-check=full \
      --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
      --track-origins=yes "$vorn" "$@" 3>&2 >/dev/null 2>&1) ||
    status=$?
  if [[ $status != "$expected" ]]; then
    echo "valgrind: vorn $* ended with $status, expected $expected" >&2
    exit 1
  fi
  valgrind_runs=$((valgrind_runs + 1))
}
memcheck 0 $'-s\x87\x40' $'-e\x82\x50'
memcheck 0 -w $'-k\xc5' -aN out.bin
memcheck 0 -f bars.txt out.bin
memcheck 1 -V
memcheck 1 -VC
memcheck 217 $'-s\x87\x40' /dev/full
memcheck 217 -f missing.txt
memcheck 0 $'-s\x87\x40' ''
echo "valgrind: $valgrind_runs runs, no errors"

stage "system-call faults: each call of a run failing in turn"
python3 tests/inject_faults.py "$vorn" --errors short --jobs "$jobs"

stage "fuzz targets: build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs"

stage "clang-tidy"
{ sources_of build-sanitize/compile_commands.json | grep -v '^fuzz/'; } |
  xargs -P"$jobs" -n4 clang-tidy-14 -p build-sanitize --quiet
sources_of build-fuzz/compile_commands.json | grep '^fuzz/' |
  xargs -P"$jobs" -n4 clang-tidy-14 -p build-fuzz --quiet
echo "clang-tidy: clean"

stage "cppcheck"
cppcheck --project=build-sanitize/compile_commands.json --library=googletest \
  --enable=warning,style,performance,portability --std=c++17 --inline-suppr \
  --suppressions-list=tests/cppcheck-suppressions.txt -i build-sanitize \
  --error-exitcode=1 --quiet -j"$jobs"
echo "cppcheck: clean"

stage "fuzzing, $fuzz_seconds s per target"
total_execs=0
for fuzzer in build-fuzz/fuzz/*_fuzzer; do
  name=$(basename "$fuzzer" _fuzzer)
  mkdir -p "$work/corpus-$name" "$work/artifacts-$name"
  # New inputs go to the scratch corpus; the seeds in the repository stay.
  "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$work/artifacts-$name/" "$work/corpus-$name" "fuzz/corpus/$name" \
    >"$work/fuzz-$name.log" 2>&1 || {
    tail -n 60 "$work/fuzz-$name.log" >&2
    echo "fuzz: $name failed; artifacts:" "$work/artifacts-$name"/* >&2
    exit 1
  }
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/fuzz-$name.log")
  echo "fuzz: $name: $execs execs, 0 crashes, corpus $(ls "$work/corpus-$name" | wc -l) inputs"
  total_execs=$((total_execs + execs))
done
echo "fuzz: $total_execs execs in total, 0 crashes"

stage "done"
echo "reliability checks passed in $SECONDS s"
