#!/usr/bin/env bash
# Times whole vorn runs against the cheapest ways to rewrite the same file,
# interleaved, and prints median times, ratios and peak memory.
#
#   bench/compare.sh            builds build-bench/ (the default build type) and compares
#
# Tables: the standard table, the full table (158 one-byte and 65536
# two-byte records) and a 64 MiB table.  On each: vorn with one
# substitution (its defaults, ① to ＿) and with a list of 906 entries,
# against `dd bs=64K` and bench/naive_copy (read whole, write whole); then
# those two with the output flushed to disk, and the naive copy doing
# vorn's whole-or-nothing replacement (new file, flush, rename, flush of
# the folder).
#
# Settings (environment): ROUNDS (interleaved rounds, default 10), RUNS
# and LARGE_RUNS (runs of each command per round, default 20, and 3 on the
# 64 MiB table),
# VORN (a vorn binary to time instead of the one built), BASELINE (another
# vorn binary, e.g. an older build, timed in the same rounds as "base"),
# BUILD (the build folder, default build-bench), TABLES (which of
# "standard full 64MiB" to time, default all).
# Timing is reported, never judged: the script fails only when a command
# or the build does.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build-bench}
ROUNDS=${ROUNDS:-10}
RUNS=${RUNS:-20}
read -r -a TABLES <<< "${TABLES:-standard full 64MiB}"

for tool in hyperfine /usr/bin/time python3 dd; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is needed" >&2; exit 2; }
done

# The vorn built here looks for no installed table, so that it always
# takes the one in the folder it runs in.
cmake -S "$ROOT" -B "$BUILD" -DVORN_BUILD_BENCHMARKS=ON \
  -DVORN_SYSTEM_TABLE="$BUILD/no-installed-table/MS932~EUC-JP.bin" >/dev/null
cmake --build "$BUILD" -j"$(nproc)" >/dev/null
VORN=${VORN:-$BUILD/vorn}
NAIVE=$BUILD/bench/naive_copy
INPUT=$BUILD/bench/vorn-bench-input

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vorn-compare-XXXXXX")
trap 'rm -rf "$WORK"' EXIT

TABLE=MS932~EUC-JP.bin
"$INPUT" list "$WORK/list.txt"
for name in standard full 64MiB; do
  mkdir "$WORK/$name"
  cp "$WORK/list.txt" "$WORK/$name/list.txt"
done
"$BUILD/vorn-table" make "$WORK/standard/$TABLE" >/dev/null
"$INPUT" full "$WORK/full/$TABLE"
"$INPUT" large "$WORK/64MiB/$TABLE"

# A vorn that finds an installed table would time that table instead.
for bin in "$VORN" ${BASELINE:+"$BASELINE"}; do
  used=$(cd "$WORK/standard" && "$bin" -w "$WORK/check.bin" | head -n 1 | tr -d '\r')
  if [[ $used != "$TABLE is primarily accessible to vorn." ]]; then
    echo "compare.sh: $bin does not use the table in its folder: $used" >&2
    exit 2
  fi
done

# label|command, run in the table's folder.
COMMANDS=(
  "vorn single|$VORN out-single.bin"
  "vorn list|$VORN -f list.txt out-list.bin"
  "dd|dd if=$TABLE of=out-dd.bin bs=64K status=none"
  "naive|$NAIVE $TABLE out-naive.bin"
  "dd+fsync|dd if=$TABLE of=out-ddsync.bin bs=64K conv=fsync status=none"
  "naive+fsync|$NAIVE --fsync $TABLE out-naivesync.bin"
  "naive+replace|$NAIVE --replace $TABLE out-naivereplace.bin"
)
if [[ -n ${BASELINE:-} ]]; then
  COMMANDS+=(
    "base single|$BASELINE out-base-single.bin"
    "base list|$BASELINE -f list.txt out-base-list.bin"
  )
fi

{
  echo "# machine: $(uname -srm); $(nproc) CPUs;" \
    "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
  echo "# file system of $WORK: $(df -T "$WORK" | awk 'NR==2 {print $2}')"
  echo "# rounds: $ROUNDS"
} > "$WORK/header"

for name in "${TABLES[@]}"; do
  runs=$RUNS
  # Runs of a few milliseconds come out about 1 ms slower for the first
  # command of a round with only a couple of warm-up runs (the machine
  # waking up from the pause between rounds), which would count against
  # whichever command comes first.
  warmup=30
  if [[ $name == 64MiB ]]; then
    runs=${LARGE_RUNS:-3}
    warmup=2
  fi
  args=()
  for entry in "${COMMANDS[@]}"; do args+=(-n "${entry%%|*}" "${entry#*|}"); done
  (
    cd "$WORK/$name"
    for round in $(seq "$ROUNDS"); do
      # hyperfine's warnings about outliers are noise here; its errors are
      # shown when it fails.
      hyperfine -N --style none --warmup "$warmup" --runs "$runs" \
        --export-json "$WORK/$name.round$round.json" "${args[@]}" >/dev/null 2>"$WORK/hyperfine.err" ||
        { cat "$WORK/hyperfine.err" >&2; exit 1; }
    done
    # Peak resident memory of five runs each, and of `vorn -V` as the
    # baseline of a run that touches no table.
    baselines=("vorn -V|$VORN -V")
    [[ -n ${BASELINE:-} ]] && baselines+=("base -V|$BASELINE -V")
    for entry in "${baselines[@]}" "${COMMANDS[@]}"; do
      for i in 1 2 3 4 5; do
        # shellcheck disable=SC2086
        /usr/bin/time -f "%M" -o "$WORK/rss" ${entry#*|} >/dev/null 2>&1 || true
        echo "${entry%%|*}|$(tail -n 1 "$WORK/rss")"
      done
    done > "$WORK/$name.rss"
  )
done

python3 - "$WORK" "${TABLES[@]}" <<'PY'
import glob, json, os, statistics, sys

work = sys.argv[1]
print(open(os.path.join(work, "header")).read(), end="")
for name in sys.argv[2:]:
    size = os.path.getsize(os.path.join(work, name, "MS932~EUC-JP.bin"))
    times = {}
    for path in sorted(glob.glob(os.path.join(work, name + ".round*.json"))):
        for result in json.load(open(path))["results"]:
            times.setdefault(result["command"], []).extend(result["times"])
    rss = {}
    for line in open(os.path.join(work, name + ".rss")):
        label, kib = line.rstrip("\n").split("|")
        rss.setdefault(label, []).append(int(kib))
    med = {label: statistics.median(values) for label, values in times.items()}
    # Each vorn binary is measured against its own -V.
    def baseline(label):
        return statistics.median(rss["base -V" if label.startswith("base") else "vorn -V"])
    base = baseline("vorn")
    print(f"\n## {name} table: {size} bytes ({size / 1024:.1f} KiB), {size // 4} records")
    print(f"{'command':<13} {'median ms':>10} {'runs':>5} {'/dd':>6} {'/naive':>7} "
          f"{'/dd+fs':>7} {'/nv+fs':>7} {'/nv+rp':>7} {'/single':>8} {'RSS KiB':>8} "
          f"{'over -V':>8} {'/table':>7}")
    for label, values in times.items():
        m = med[label]
        peak = statistics.median(rss[label])
        over = peak - baseline(label)
        print(f"{label:<13} {m * 1e3:>10.3f} {len(values):>5} {m / med['dd']:>6.2f} "
              f"{m / med['naive']:>7.2f} {m / med['dd+fsync']:>7.2f} "
              f"{m / med['naive+fsync']:>7.2f} {m / med['naive+replace']:>7.2f} "
              f"{m / med['vorn single']:>8.2f} {peak:>8.0f} {over:>8.0f} {over * 1024 / size:>7.2f}")
    print(f"vorn -V peak RSS: {base:.0f} KiB")
    single, lst = med["vorn single"], med["vorn list"]
    if name == "64MiB":
        checks = [("single <= 1.3 x naive", single / med["naive"], 1.3),
                  ("list <= 1.2 x single", lst / single, 1.2)]
    else:
        checks = [("single <= 1.15 x dd", single / med["dd"], 1.15),
                  ("list <= 1.15 x dd", lst / med["dd"], 1.15)]
    for label in ("vorn single", "vorn list"):
        over = (statistics.median(rss[label]) - base) * 1024 / size
        checks.append((f"{label} RSS over -V <= 1.05 x table", over, 1.05))
    for text, value, limit in checks:
        print(f"target {text}: {value:.2f} -> {'met' if value <= limit else 'NOT met'}")
PY
