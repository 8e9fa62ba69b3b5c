#!/usr/bin/env bash
# End-to-end runs of cardwright.exe under Wine, started by wine-test.sh, which maps the empty
# folder $CARDWRIGHT_WINE_CARD_HOST as the removable drive E: of a fresh Wine prefix whose
# documents folder does not exist yet. Prints "N passed, N failed" last; exits non-zero when
# any check failed.
set -uo pipefail

exe=${1:?cardwright.exe}
card=${CARDWRIGHT_WINE_CARD_HOST:?}
data="${CARDWRIGHT_WINE_DOCUMENTS_HOST:?}/BREVANT/QUORVANE"
work=$(mktemp -d /tmp/cardwright-wine-work.XXXXXX)
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
out=""
err=""
code=0

# Runs the program; keeps its exit code and its output with Windows' CR removed.
run() {
  wine "$exe" "$@" </dev/null >"$work/out" 2>"$work/err"
  code=$?
  out=$(tr -d '\r' <"$work/out")
  err=$(tr -d '\r' <"$work/err")
}

check() {  # check NAME COMMAND...
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $name"
    echo "  exit $code"
    echo "  stdout: ${out//$'\n'/$'\n'  stdout: }"
    echo "  stderr: ${err//$'\n'/$'\n'  stderr: }"
  fi
}

has_line() { grep -qxE "$1" <<<"$2"; }

# Wine's Z: is the host's root.
windows_path() { echo "Z:${1//\//\\}"; }

# The drive map: E: is the removable card, C: the fixed system drive.
run drives
check "drives exits 0" test "$code" -eq 0
check "E: is removable" has_line 'E:  +E:\\ +removable +[^ ]+ +[0-9]+' "$out"
check "C: is fixed" has_line 'C:  +C:\\ +fixed +[^ ]+ +[0-9]+' "$out"

# One executable, both faces: a window program (nothing flashes up from Explorer) whose
# subcommands still write through pipes, as through the files above.
pe=$(od -An -t u4 -j 60 -N 4 "$exe" | tr -d ' ')
subsystem=$(od -An -t u2 -j $((pe + 92)) -N 2 "$exe" | tr -d ' ')
check "cardwright.exe is a window program" test "$subsystem" -eq 2
piped=$(wine "$exe" drives </dev/null 2>/dev/null | tr -d '\r')
check "drives writes through a pipe" has_line 'E:  +E:\\ +removable +[^ ]+ +[0-9]+' "$piped"

# Mappings are not needed on Windows, but a malformed one is refused all the same.
run --drive "E=C:\\card" drives
check "a malformed mapping is refused" test "$code" -eq 2
check "the refusal says why" grep -q "expected LETTER:=FOLDER" <<<"$err"

# A well-formed mapping overrides the real drive's type, file system and size.
run --drive "E:=E:\\,fixed,fs=FAT16,bytes=67108864" drives
check "mapping overrides exit 0" test "$code" -eq 0
check "mapping overrides apply" has_line 'E:  +E:\\ +fixed +FAT16 +67108864' "$out"

# Store and verify, as the demo does on Linux: an Engine card holding 2.014 gets 2.015.
# Sources are given as host paths from "/", which Windows reads on the current drive (Z:).
make_release() {  # make_release REVISION
  local dir="$work/release-$1"
  mkdir -p "$dir"
  printf 'engine application 2.%03d\n' "$1" >"$dir/main.bin"
  head -c 20000 /dev/zero | tr '\0' 'T' >"$dir/tables.dat"
  printf 'notes for 2.%03d\n' "$1" >"$dir/readme.txt"
  cat >"$dir/manifest.txt" <<MANIFEST
release $1
format 1 9 A
generator 2 15 B
engine 2 $1 -
file 2  "APP\\MAIN.BIN"         -  $dir/main.bin
file 7  "APP\\DATA\\TABLES.DAT" -  $dir/tables.dat
file 14 "DOCS\\README.TXT"      -  $dir/readme.txt
MANIFEST
  run pack "$(windows_path "$dir/manifest.txt")" -o "$(windows_path "$work/ENGINE_$1.FWP")"
  check "pack 2.$1 exits 0" test "$code" -eq 0
}
make_release 14
make_release 15

mkdir -p "$card/APP/DATA" "$card/DOCS"
cp "$work/ENGINE_14.FWP" "$card/UPGRADE.FWP"
cp "$work/release-14/main.bin" "$card/APP/MAIN.BIN"
cp "$work/release-14/tables.dat" "$card/APP/DATA/TABLES.DAT"
cp "$work/release-14/readme.txt" "$card/DOCS/README.TXT"
printf 'serviced 2024-03-01\n' >"$card/SERVICE.TXT"

# Wine reports every folder drive as NTFS; the mapping says what a FAT16 card would.
card_shape=(--drive 'E:=E:\,removable,fs=FAT16,bytes=67108864')
run "${card_shape[@]}" store --card E: --package "$(windows_path "$work/ENGINE_15.FWP")" --yes
check "store exits 0" test "$code" -eq 0
check "store asked before replacing files" grep -q "All files will be replaced with new ones." <<<"$err"
# Wine answers the dismount request with "not supported": the job says so and goes on.
check "Wine's refused dismount is reported" grep -q "Compact Flash is still mounted." <<<"$err"
check "the new application is on the card" cmp -s "$card/APP/MAIN.BIN" "$work/release-15/main.bin"
check "the card keeps the new package" cmp -s "$card/UPGRADE.FWP" "$work/ENGINE_15.FWP"
check "the technician's file stays" grep -qx "serviced 2024-03-01" "$card/SERVICE.TXT"
check "the upgrade record is written with CR LF" \
  grep -q $'^\\*\\*\\*\\*\\*\\* Upgrade Info Start \\*\\*\\*\\*\\*\\*\r$' "$card/FWP_INFO_FILE.TXT"
# The data folder follows the documents folder, which the run had to create.
check "the log is in the documents folder" test -s "$data/fwp_downloader.log"
check "the log has the stage lines" grep -q ' -   Stage 1\.\.\.' "$data/fwp_downloader.log"
check "the transcript is beside the log" test -s "$data/DownloadDiagnostics.txt"
check "the old card was backed up there" \
  cmp -s "$data/QUORVANE_ENGINE_CF_BACKUP/APP/MAIN.BIN" "$work/release-14/main.bin"

run "${card_shape[@]}" verify --card E:
check "verify of the stored card exits 0" test "$code" -eq 0
run "${card_shape[@]}" verify --card E: --package "$(windows_path "$work/ENGINE_15.FWP")"
check "verify against the package exits 0" test "$code" -eq 0
check "redirected, each status is a line and no bar is drawn" \
  bash -c 'grep -qx "Done!" <<<"$1" && ! grep -q "####" <<<"$1"' _ "$out"

# On a console the progress line is drawn, and is full when its phase completes. Wine draws its
# console on the terminal `script` gives it, moving the cursor for each blank: those moves are
# taken out before the line is read.
console_run=$(printf '%q ' wine "$exe" "${card_shape[@]}" verify --card E: \
  --package "$(windows_path "$work/ENGINE_15.FWP")")
SHELL=/bin/bash script -qec "$console_run </dev/null" "$work/typescript" >/dev/null 2>&1
console=$(sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$work/typescript" | tr -d '\r')
check "a console shows the progress line, full at the end" \
  grep -qE 'Verification *\[#{20}\] *([0-9]+)/\1 *files' <<<"$console"

printf 'damaged\n' >"$card/APP/MAIN.BIN"
run "${card_shape[@]}" verify --card E:
check "verify of a damaged card exits 1" test "$code" -eq 1
check "the damaged file is named" grep -qx 'E:\\APP\\MAIN.BIN' <<<"$err"

# A second store moves the first backup whole into the history (a write-through rename); that
# backup, chosen by its name, puts the card of before the first store back.
run "${card_shape[@]}" store --card E: --package "$(windows_path "$work/ENGINE_15.FWP")" --yes
check "a second store exits 0" test "$code" -eq 0
history_folder="$data/QUORVANE_ENGINE_CF_BACKUP_HISTORY"
first_backup=$(ls "$history_folder" 2>/dev/null | grep -v '\.' | head -1)
check "the first backup moved whole into the history" \
  cmp -s "$history_folder/$first_backup/APP/MAIN.BIN" "$work/release-14/main.bin"
check "with its manifest" grep -q '^Files: ' "$history_folder/$first_backup.manifest"
run "${card_shape[@]}" store --card E: --restore-only --backup "$first_backup"
check "a restore from the history exits 0" test "$code" -eq 0
check "it put the card of before back" cmp -s "$card/APP/MAIN.BIN" "$work/release-14/main.bin"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
