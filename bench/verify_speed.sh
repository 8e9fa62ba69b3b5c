#!/usr/bin/env bash
# Verify against a cold read: `cardwright verify --package` of a folder card that holds a stored
# installation, against reading and CRC-32-ing the same files in one plain loop
# (`bench_baseline coldread`), both measured in this run, runs interleaved, at 2,000 and at
# 20,000 files. Before every timed run each card file's cached pages are dropped
# (posix_fadvise POSIX_FADV_DONTNEED after one syncfs): no root needed.
#
#   bench/verify_speed.sh            prints one line per set: verify, cold read, their ratio
#
# BENCH_BUILD        a configured build with -DCARDWRIGHT_BUILD_BENCH=ON (default build/)
# BENCH_VERIFY_BYTES the bytes of each set's files (default 128 MiB; the ratio is per-file
#                    overhead over the read, so a smaller total is the harder case)
# BENCH_VERIFY_RUNS  runs of each command (default 5); figures are medians
# BENCH_VERIFY_SETS  file counts (default "2000 20000")
# BENCH_DATA         where the reference data and the cards lie (default BENCH_BUILD/verify-data)
# BENCH_BEFORE       another cardwright binary (an earlier build) timed in the same runs, for a
#                    before-and-after line against the same cold reads
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BENCH_BUILD:-$ROOT/build}
DATA=${BENCH_DATA:-$BUILD/verify-data}
BYTES=${BENCH_VERIFY_BYTES:-$((128 * 1048576))}
RUNS=${BENCH_VERIFY_RUNS:-5}
SETS=${BENCH_VERIFY_SETS:-2000 20000}

cmake --build "$BUILD" --target cardwright bench_make_reference bench_baseline bench_time >/dev/null
CW=$BUILD/cardwright
BIN=$BUILD/bench
HOMES=$(mktemp -d "${BENCH_HOME_ROOT:-/dev/shm}/cardwright-verify.XXXXXX" 2>/dev/null ||
  mktemp -d "$DATA/homes.XXXXXX")
trap 'rm -rf "$HOMES"' EXIT
LOG=$DATA/runs.log
mkdir -p "$DATA"
: >"$LOG"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for files in $SETS; do
  dir=$DATA/$files-$BYTES ref=$DATA/$files-$BYTES/ref
  stamp="$(cat "$ROOT/bench/tools/make_reference.cpp" "$ROOT/bench/support/content.cpp" | cksum)"
  if [ ! -f "$dir/stamp" ] || [ "$(cat "$dir/stamp")" != "$stamp" ]; then
    rm -rf "$dir"
    "$BIN/bench_make_reference" --out "$ref" --files "$files" --bytes "$BYTES" \
      --os-bytes $((BYTES / 12)) >>"$LOG"
    echo "$stamp" >"$dir/stamp"
  fi
  card=$dir/card home=$HOMES/$files
  drive="E:=$card,removable,fs=FAT16,bytes=2147483648"
  # The stored installation: the old card, then one store (untimed).
  rm -rf "$card" "$home" && cp -a "$ref/old-card" "$card" && mkdir -p "$home"
  env HOME="$home" "$CW" --drive "$drive" store --card E: --package "$ref/REFERENCE.FWP" \
    --yes >>"$LOG" 2>&1
  : >"$dir/verify" && : >"$dir/before" && : >"$dir/cold"
  verify() {  # program output
    "$BIN/bench_time" --runs 1 --output "$LOG" --prepare "'$BIN/bench_baseline' evict '$card'" \
      -- env HOME="$home" "$1" --drive "$drive" verify --card E: \
      --package "$ref/REFERENCE.FWP" | awk '{ print $1 }' >>"$2"
  }
  for _ in $(seq "$RUNS"); do
    verify "$CW" "$dir/verify"
    [ -z "${BENCH_BEFORE:-}" ] || verify "$BENCH_BEFORE" "$dir/before"
    "$BIN/bench_baseline" coldread "$ref/records.tsv" "$card" >>"$dir/cold"
  done
  c=$(median <"$dir/cold")
  placed=$(wc -l <"$ref/records.tsv")
  for which in verify before; do
    [ -s "$dir/$which" ] || continue
    awk -v n="$placed" -v b="$BYTES" -v v="$(median <"$dir/$which")" -v c="$c" -v r="$RUNS" \
      -v w="$([ "$which" = before ] && echo "verify (before)" || echo verify)" 'BEGIN {
      printf "%d files, %d MiB: %s %.3f s, cold read + CRC-32 %.3f s, verify / cold read %.2f (medians of %d)\n",
        n, b / 1048576, w, v, c, v / c, r }'
  done
  rm -rf "$card" "$home"
done
