#!/usr/bin/env bash
# make bench: the program's own work against the irreducible work of the same job.
#
#  1. Kernels (Google Benchmark): BufferCRC and GetFileCRC against zlib's crc32(), extracting
#     one file against zlib's uncompress(), loading a package of 10,000 records, and the
#     flush that puts a backup on the PC's disk before the card changes (real time).
#  2. End to end on a folder card (E:, removable, FAT16, 2 GiB, the largest FAT16 card) that
#     holds an older installation: `cardwright store --yes` and `cardwright verify --package`
#     against the floor of each job (bench/tools/baseline.cpp: everything the job must do,
#     done plainly in one process), and `unzip` of the same files plus `cksum`; for 2,000 files
#     of 512 MiB, 20,000 files of 512 MiB, and 2,000 files of 1.5 GiB, which fills the card.
#  3. Scaling: store and verify of 200, 2,000 and 20,000 small files; the time per file must
#     stay flat.
#
# HOME (the data folder with the log and the backup) lies on a file system other than the
# card's (/dev/shm when there is one), as the PC's disk is not the card: the dismount's sync of
# the card's file system must not also pay for writing the backup.
#
# The cards (and unzip's output) are folders below BENCH_CARD_ROOT, by default the data folder.
# Pointing it at another file system shows how much of a job is that file system's: on ext4
# without a journal, as this machine's root, creating files right after deleting thousands
# walks every recently freed inode, for the store and its floor alike.
#
# Runs are interleaved (store, verify, baseline, ...) so that a change in the machine's load
# hits every command alike; each figure is the median of BENCH_RUNS runs. The reference data is
# made once and kept in BENCH_DATA. Results: BENCH_BUILD/RESULTS.md.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BENCH_BUILD:-$ROOT/build-bench}
DATA=${BENCH_DATA:-$BUILD/bench-data}
RUNS=${BENCH_RUNS:-3}
SMALL_RUNS=${BENCH_SMALL_RUNS:-3}
FULL_RUNS=${BENCH_FULL_RUNS:-1}  # the 1.5 GiB card: each run copies and writes 3 GiB
# Which sets to run (a quick look at one change: BENCH_SETS=main); the report shows only those.
SETS=" ${BENCH_SETS:-main wide fullcard small} "
chosen() { [[ "$SETS" == *" $1 "* ]]; }
CARD_BYTES=2147483648
MiB=1048576

for tool in zip unzip cksum; do
  if ! command -v "$tool" >/dev/null; then
    if [ "$(id -u)" -eq 0 ]; then
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends zip unzip >/dev/null
    else
      echo "bench: $tool is missing (apt-get install zip unzip)" >&2
      exit 1
    fi
  fi
done

echo "== building (Release) in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCARDWRIGHT_BUILD_BENCH=ON \
  -DCARDWRIGHT_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target cardwright bench_core bench_make_reference \
  bench_baseline bench_time
CW=$BUILD/cardwright
BIN=$BUILD/bench
mkdir -p "$DATA"
HOMES=$(mktemp -d "${BENCH_HOME_ROOT:-/dev/shm}/cardwright-bench.XXXXXX" 2>/dev/null || mktemp -d "$DATA/homes.XXXXXX")
trap 'rm -rf "$HOMES"' EXIT
OUT=$BUILD/RESULTS.md
LOG=$DATA/runs.log
: >"$LOG"

# --- 1. Kernels --------------------------------------------------------------------------
echo "== kernels"
BENCH_LOG_ROOT=$DATA "$BIN/bench_core" --benchmark_repetitions="$RUNS" --benchmark_report_aggregates_only=true \
  --benchmark_out="$DATA/kernels.csv" --benchmark_out_format=csv >/dev/null 2>"$DATA/kernels.err"
# name -> "real cpu unit" of the median row.
kernel() {
  awk -F, -v want="\"$1_median\"" '$1 == want { print $3, $4, $5 }' "$DATA/kernels.csv"
}

# --- 2. Reference data -------------------------------------------------------------------
GEN_SUM=$(cat "$ROOT/bench/tools/make_reference.cpp" "$ROOT/bench/support/content.cpp" | cksum)
make_set() {  # name files bytes os-bytes
  local dir=$DATA/$1 stamp="$2 $3 $4 $GEN_SUM"
  if [ -f "$dir/stamp" ] && [ "$(cat "$dir/stamp")" = "$stamp" ]; then return; fi
  echo "== making reference data $1 ($2 files, $3 bytes)"
  "$BIN/bench_make_reference" --out "$dir/ref" --files "$2" --bytes "$3" --os-bytes "$4"
  echo "$stamp" >"$dir/stamp"
}
chosen main && make_set main 2000 $((512 * MiB)) $((512 * MiB / 12))
chosen wide && make_set wide 20000 $((512 * MiB)) $((512 * MiB / 12))
chosen fullcard && make_set fullcard 2000 $((1536 * MiB)) $((1536 * MiB / 12))
if chosen small; then
  make_set small200 200 $((200 * 4096)) 262144
  make_set small2000 2000 $((2000 * 4096)) 262144
  make_set small20000 20000 $((20000 * 4096)) 262144
fi

fact() { awk -v k="$2" '$1 == k { print $2 }' "$DATA/$1/ref/facts.txt"; }

# One timed run: prints "seconds peak-KiB". The command's output goes to the run log.
timed() {  # prepare -- command...
  local prepare=$1
  shift
  "$BIN/bench_time" --runs 1 --output "$LOG" --prepare "$prepare" -- "$@" | awk '{ print $1, $4 }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
maxof() { sort -g | tail -1; }

# Times one set, interleaving the commands run by run. Leaves per command the file
# $dir/times.<cmd> with "seconds peak-KiB" lines.
run_set() {  # name runs with-baseline-and-unzip
  local name=$1 runs=$2 full=$3 dir=$DATA/$1 ref=$DATA/$1/ref
  local cards=${BENCH_CARD_ROOT:+$BENCH_CARD_ROOT/$1}
  cards=${cards:-$dir}
  mkdir -p "$cards"
  local card=$cards/card home=$HOMES/$1
  local drive="E:=$card,removable,fs=FAT16,bytes=$CARD_BYTES"
  # A freshly inserted card: the older installation, on the disk, not in the page cache.
  local reset="rm -rf '$card' '$home' && cp -a '$ref/old-card' '$card' && mkdir '$home' && '$BIN/bench_baseline' evict '$card'"
  local evict="'$BIN/bench_baseline' evict '$card'"
  rm -f "$dir"/times.*
  for run in $(seq "$runs"); do
    echo "   $name run $run/$runs"
    timed "$reset" env HOME="$home" "$CW" --drive "$drive" store --card E: \
      --package "$ref/REFERENCE.FWP" --yes >>"$dir/times.store"
    # Log lines a store writes (each opened, locked, written and closed).
    cat "$home"/Documents/BREVANT/QUORVANE/*.log | wc -l >>"$dir/loglines.store"
    timed "$evict" env HOME="$home" "$CW" --drive "$drive" verify --card E: \
      --package "$ref/REFERENCE.FWP" >>"$dir/times.verify"
    if [ "$full" = yes ]; then
      # A panel card gets no copy of the package, so its floor writes none either.
      timed "$reset" "$BIN/bench_baseline" store "$ref/REFERENCE.FWP" "$ref/records.tsv" "$card" \
        "$home/backup" >>"$dir/times.bstore"
      timed "$evict" "$BIN/bench_baseline" verify "$ref/REFERENCE.FWP" "$ref/records.tsv" \
        "$card" >>"$dir/times.bverify"
      timed "rm -rf '$cards/unzipped'" sh -c "unzip -q '$ref/new.zip' -d '$cards/unzipped' && \
        find '$cards/unzipped' -type f -print0 | xargs -0 cksum >/dev/null" >>"$dir/times.unzip"
    fi
  done
  rm -rf "$card" "$home" "$cards/unzipped"
}
sec() { awk '{ print $1 }' "$DATA/$1/times.$2" | median; }
spread() { awk '{ print $1 }' "$DATA/$1/times.$2" | sort -g | awk '{ v[NR] = $1 } END { printf "%s–%s", v[1], v[NR] }'; }
kib() { awk '{ print $2 }' "$DATA/$1/times.$2" | maxof; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }

if chosen main; then
  echo "== end to end: 2,000 files, 512 MiB ($RUNS runs each)"
  run_set main "$RUNS" yes
fi
if chosen wide; then
  echo "== end to end: 20,000 files, 512 MiB ($RUNS runs each)"
  run_set wide "$RUNS" yes
fi
if chosen fullcard; then
  echo "== end to end: 2,000 files, 1.5 GiB ($FULL_RUNS runs each)"
  run_set fullcard "$FULL_RUNS" yes
fi
if chosen small; then
  for n in 200 2000 20000; do
    echo "== scaling: $n small files ($SMALL_RUNS runs each)"
    run_set "small$n" "$SMALL_RUNS" no
  done
fi

# --- 4. Report ---------------------------------------------------------------------------
read -r crcReal crcCpu _ <<<"$(kernel BM_BufferCRC)"
read -r zReal zCpu _ <<<"$(kernel BM_ZlibCrc32)"
read -r byteReal byteCpu _ <<<"$(kernel BM_ByteAtATimeCRC)"
read -r fileReal fileCpu _ <<<"$(kernel FileCrc/GetFileCRC)"
read -r rzReal rzCpu _ <<<"$(kernel FileCrc/ReadThenZlibCrc32)"
read -r decReal decCpu _ <<<"$(kernel OneFile/Decompress)"
read -r uncReal uncCpu _ <<<"$(kernel OneFile/ZlibUncompressAndWrite)"
read -r loadReal loadCpu _ <<<"$(kernel BM_LoadInfoArray10000)"
read -r logReal logCpu _ <<<"$(kernel LogLine/UpperCasedDataPath)"
read -r hostReal hostCpu _ <<<"$(kernel LogLine/HostPath)"
read -r bareReal bareCpu _ <<<"$(kernel LogLine/BareSystemCalls)"
read -r copyReal _ _ <<<"$(kernel BackupCopies/CopyOnly/iterations:5/real_time)"
read -r flushReal _ _ <<<"$(kernel BackupCopies/CopyThenFlush/iterations:5/real_time)"

# The memory a store may take: the package, its largest file and 64 MiB.
limit_kib() { echo $(( ($(fact "$1" package_bytes) + $(fact "$1" largest_file)) / 1024 + 65536 )); }
pass() { awk -v a="$1" -v b="$2" 'BEGIN { print (a <= b) ? "met" : "missed" }'; }
logLine=$(awk -v c="$logCpu" 'BEGIN { print c }')

# One end-to-end table: the two jobs, their floors, unzip + cksum.
e2e_section() {  # name title
  local n=$1 store verify bstore bverify unz
  store=$(sec "$n" store) verify=$(sec "$n" verify) bstore=$(sec "$n" bstore)
  bverify=$(sec "$n" bverify) unz=$(sec "$n" unzip)
  local lines
  lines=$(median <"$DATA/$n/loglines.store")
  echo "## End to end: $2"
  echo
  echo "Package $(mib $(($(fact "$n" package_bytes) / 1024))) MiB; $(fact "$n" placed_files) files ($(mib $(($(fact "$n" placed_bytes) / 1024))) MiB) go on a 3940 panel card of 2 GiB that holds an older installation of the same files. Runs: $(wc -l <"$DATA/$n/times.store")."
  echo
  echo "| command | median | range | peak memory | ratio |"
  echo "| --- | ---: | ---: | ---: | ---: |"
  echo "| \`cardwright store --yes\` | $store s | $(spread "$n" store) | $(mib "$(kib "$n" store)") MiB | $(ratio "$store" "$bstore") × floor |"
  echo "| store floor: package CRC check, backup + delete, inflate + write, one sync, drop cached pages, read back + CRC-32 | $bstore s | $(spread "$n" bstore) | $(mib "$(kib "$n" bstore)") MiB | 1 |"
  echo "| \`cardwright verify --package\` | $verify s | $(spread "$n" verify) | $(mib "$(kib "$n" verify)") MiB | $(ratio "$verify" "$bverify") × floor |"
  echo "| verify floor: package CRC check, drop cached pages, read back + CRC-32 | $bverify s | $(spread "$n" bverify) | $(mib "$(kib "$n" bverify)") MiB | 1 |"
  echo "| \`unzip\` of the same files + \`cksum\` | $unz s | $(spread "$n" unzip) | $(mib "$(kib "$n" unzip)") MiB | store: $(ratio "$store" "$unz") × this |"
  echo
  echo "A store writes $lines log lines; at $logLine µs each (the kernel above) that is $(awk -v l="$lines" -v c="$logLine" 'BEGIN { printf "%.2f", l * c / 1e6 }') s."
  echo
  TARGETS+=("$2: store $(ratio "$store" "$bstore") × floor — $(pass "$(ratio "$store" "$bstore")" 1.25); verify $(ratio "$verify" "$bverify") × floor — $(pass "$(ratio "$verify" "$bverify")" 1.25); store against unzip + cksum $(ratio "$store" "$unz") — $(pass "$store" "$unz"); store peak memory $(mib "$(kib "$n" store)") MiB of $(mib "$(limit_kib "$n")") MiB — $(pass "$(kib "$n" store)" "$(limit_kib "$n")")")
}
TARGETS=()

{
  echo "# Benchmark results"
  echo
  echo "Made by \`make bench\` (scripts/bench.sh) on $(date -u +%Y-%m-%d), $(nproc) CPUs ($(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)), load average at the end $(cut -d' ' -f1-3 /proc/loadavg)."
  echo "Medians of the runs (kernels: of $RUNS repetitions, CPU time). The card is a folder on"
  echo "$(findmnt -n -o FSTYPE,SOURCE --target "${BENCH_CARD_ROOT:-$DATA}" | awk '{ print $1 " (" $2 ")" }'); HOME (log, backup) is on $(df --output=fstype "$HOMES" | tail -1). Before each run the card's files are flushed and dropped from the page cache, as after the program's own dismount. Peak memory is the largest max RSS of any run."
  echo
  echo "## Kernels"
  echo
  echo "| kernel | time (CPU) | reference | time (CPU) | ratio |"
  echo "| --- | ---: | --- | ---: | ---: |"
  echo "| BufferCRC, 64 MiB | $crcCpu ms | zlib crc32() | $zCpu ms | $(ratio "$crcCpu" "$zCpu") |"
  echo "| byte-at-a-time definition, 64 MiB | $byteCpu ms | zlib crc32() | $zCpu ms | $(ratio "$byteCpu" "$zCpu") |"
  echo "| GetFileCRC, 64 MiB file (cached) | $fileCpu ms | read + crc32() | $rzCpu ms | $(ratio "$fileCpu" "$rzCpu") |"
  echo "| Decompress, one 16 MiB file | $decCpu ms | uncompress() + write | $uncCpu ms | $(ratio "$decCpu" "$uncCpu") |"
  echo "| LoadInfoArray, 10,000 records | $loadCpu ms | | | |"
  echo "| one log line, upper-cased data path | $logCpu µs | the same line, host path | $hostCpu µs | $(ratio "$logCpu" "$hostCpu") |"
  echo "| | | bare flock, open, write, close | $bareCpu µs | $(ratio "$logCpu" "$bareCpu") |"
  echo "| backup of 200 × 64 KiB copied and flushed to disk (real time) | $flushReal ms | copied only | $copyReal ms | $(ratio "$flushReal" "$copyReal") |"
  echo
  chosen main && e2e_section main "2,000 files, 512 MiB unpacked"
  chosen wide && e2e_section wide "20,000 files, 512 MiB unpacked"
  chosen fullcard && e2e_section fullcard "2,000 files, 1.5 GiB unpacked (the card full)"
  if chosen small; then
    echo "## Scaling: small files (about 4 KiB each)"
    echo
    echo "Per file: the median over the number of files. Added per file: the growth from the"
    echo "row above over the files added, which leaves out the fixed cost of a job (start-up,"
    echo "reading the package)."
    echo
    echo "| files | store | per file | added per file | verify | per file | added per file |"
    echo "| ---: | ---: | ---: | ---: | ---: | ---: | ---: |"
    prevFiles=0 prevStore=0 prevVerify=0
    for n in 200 2000 20000; do
      s=$(sec "small$n" store) v=$(sec "small$n" verify)
      files=$(fact "small$n" placed_files)
      per() { awk -v t="$1" -v n="$files" 'BEGIN { printf "%.2f ms", 1000 * t / n }'; }
      added() {
        [ "$prevFiles" = 0 ] && { echo "–"; return; }
        awk -v t="$1" -v p="$2" -v n="$files" -v m="$prevFiles" 'BEGIN { printf "%.2f ms", 1000 * (t - p) / (n - m) }'
      }
      echo "| $files | $s s | $(per "$s") | $(added "$s" "$prevStore") | $v s | $(per "$v") | $(added "$v" "$prevVerify") |"
      prevFiles=$files prevStore=$s prevVerify=$v
    done
    echo
  fi
  echo "## Targets"
  echo
  echo "- BufferCRC ≤ zlib crc32(): $(ratio "$crcCpu" "$zCpu") — $(pass "$crcCpu" "$zCpu")"
  for t in "${TARGETS[@]}"; do echo "- $t"; done
} >"$OUT"
echo
cat "$OUT"
