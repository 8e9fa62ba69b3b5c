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

# Wine itself can stall for good on a loaded machine (its server, not the program: the same
# call then takes a second). So every call is bounded; one that outlives the bound is named,
# Wine's server is started afresh and the call is made once more. A program that hangs hangs
# again, and its check fails.
exec 3>&1
limit=${CARDWRIGHT_WINE_CALL_LIMIT:-150}
wine() {
  local status
  for _ in 1 2; do
    timeout -k 10 "$limit" wine "$@"
    status=$?
    [ "$status" -ne 124 ] && [ "$status" -ne 137 ] && return "$status"
    echo "Wine did not return within $limit s, started afresh: wine $*" >&3
    wineserver -k </dev/null >/dev/null 2>&1
    wineserver -p </dev/null >/dev/null 2>&1
  done
  return "$status"
}
# The console runs go through `script`, which starts Wine by name: bounded, never repeated.
bounded_script() { timeout -k 10 "$limit" script "$@"; }

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

# PE header fields: the subsystem (2 window, 3 console) and the characteristics.
pe_field() {  # pe_field FILE OFFSET_FROM_PE_SIGNATURE
  local pe
  pe=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  od -An -t u2 -j $((pe + $2)) -N 2 "$1" | tr -d ' '
}
# Two programs: cardwright.exe a window program (nothing flashes up from Explorer) whose
# subcommands still write through pipes, as through the files above, and its console twin
# cardwright.com, which a shell finds first.
com="${exe%.exe}.com"
check "cardwright.exe is a window program" test "$(pe_field "$exe" 92)" -eq 2
check "cardwright.com is a console program" test "$(pe_field "$com" 92)" -eq 3
# Large-address-aware (characteristics bit 0x20): a 32-bit build gets 4 GiB on 64-bit Windows.
for program in "$exe" "$com"; do
  check "$(basename "$program") is large-address-aware" test $(($(pe_field "$program" 22) & 32)) -eq 32
done
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
SHELL=/bin/bash bounded_script -qec "$console_run </dev/null" "$work/typescript" >/dev/null 2>&1
console=$(sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$work/typescript" | tr -d '\r')
check "a console shows the progress line, full at the end" \
  grep -qE 'Verification *\[#{20}\] *([0-9]+)/\1 *files' <<<"$console"

printf 'damaged\n' >"$card/APP/MAIN.BIN"
run "${card_shape[@]}" verify --card E:
check "verify of a damaged card exits 1" test "$code" -eq 1
check "the damaged file is named" grep -qx 'E:\\APP\\MAIN.BIN' <<<"$err"

# Types each line into an interactive cmd started in folder DIR, as a user does: the next line
# only once cmd shows its prompt for it (Wine's cmd takes one line per read from a pipe and
# drops the rest). Prints what cmd showed.
typed_into_cmd() {  # typed_into_cmd DIR LINE...
  local dir=$1
  shift
  : >"$work/cmd.out"
  {
    local n=0 line
    for line in "$@"; do
      n=$((n + 1))
      for _ in $(seq 1200); do
        [ "$(grep -o '[A-Z]:\\[^>]*>' "$work/cmd.out" | wc -l)" -ge "$n" ] && break
        sleep 0.1
      done
      printf '%s\r\n' "$line"
    done
  } | (cd "$dir" && wine cmd >"$work/cmd.out" 2>&1)
  tr -d '\r' <"$work/cmd.out"
}

# Typed into an interactive cmd (not a batch file) as "cardwright", the console twin runs: cmd
# waits for it, so each job's output comes before the next prompt, and %ERRORLEVEL% is the
# job's status (for a window program cmd would show the next prompt at once, status 0).
out=$(typed_into_cmd "$(dirname "$exe")" \
  "cardwright --drive E:=E:\\,removable,fs=FAT16,bytes=67108864 verify --card E:" \
  'echo status=%ERRORLEVEL%' 'cardwright --version' 'echo status=%ERRORLEVEL%' 'exit')
check "cmd waits for the console command and keeps its status" \
  bash -c 'grep -A1000 -x "E:\\\\APP\\\\MAIN.BIN" <<<"$1" | grep -m1 "status=" | grep -q ">status=1$" &&
           grep -A1000 "cardwright 1.061$" <<<"$1" | grep -m1 "status=" | grep -q ">status=0$"' _ "$out"

# The question is asked on the console the command was typed into, and answered there.
cp "$work/release-15/main.bin" "$card/APP/MAIN.BIN"
console_run=$(printf '%q ' wine "$com" "${card_shape[@]}" store --card E: \
  --package "$(windows_path "$work/ENGINE_14.FWP")")
# The answer is typed once the question shows: typed earlier, the terminal's line discipline
# would turn its Enter into a line feed before Wine's console takes the keys raw.
# Wine's refused dismount asks twice for the card to be taken out and put back (before the
# verification and after the record), and each time the console waits for Enter.
rm -f "$work/typescript"
shown() {  # shown PATTERN N: the N-th showing of PATTERN, waited for
  for _ in $(seq 600); do
    [ "$(sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$work/typescript" 2>/dev/null |
         grep -o "$1" | wc -l)" -ge "$2" ] && return 0
    sleep 0.1
  done
  return 1
}
{
  shown 'OK *or *Cancel?' 1 && printf 'o\r'
  for n in 1 2; do shown 'Press *Enter *when *done' "$n" && printf '\r'; done
} | SHELL=/bin/bash bounded_script -qfec "$console_run; echo exit=\$?" "$work/typescript" >/dev/null 2>&1
console=$(sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$work/typescript" | tr -d '\r')
out=$console
check "the console's answer OK stores the package" \
  bash -c 'grep -q "OK *or *Cancel? *\[o/c\] *o$" <<<"$1" && grep -qx "exit=0" <<<"$1"' _ "$console"
check "the console waits for Enter after each hand-action message" \
  test "$(grep -o 'Press *Enter *when *done' <<<"$console" | wc -l)" -eq 2
check "the stored package is on the card" cmp -s "$card/UPGRADE.FWP" "$work/ENGINE_14.FWP"

# Any user, any file name: the documents folder of a user named in Cyrillic and Greek letters,
# and card files with accented names, through the card, the backup, the log and --json.
shell_folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
# The prefix serves later runs: its documents folder is put back however this run ends.
documents_back() {
  wine reg add "$shell_folders" /v Personal /t REG_EXPAND_SZ /f /d '%USERPROFILE%\Documents' \
    >/dev/null 2>&1
  rm -rf "$WINEPREFIX/drive_c/users/Дмитрий Ωμέγα"
}
trap 'documents_back; rm -rf "$work"' EXIT
wine reg add "$shell_folders" /v Personal /t REG_EXPAND_SZ /f \
  /d 'C:\users\Дмитрий Ωμέγα\Documents' >/dev/null 2>&1
intl_data="$WINEPREFIX/drive_c/users/Дмитрий Ωμέγα/Documents/BREVANT/QUORVANE"
mkdir -p "$work/intl"
printf 'résumé\n' >"$work/intl/resume.txt"
printf 'engine\n' >"$work/intl/main.bin"
cat >"$work/intl/manifest.txt" <<MANIFEST
release 16
format 1 9 A
generator 2 15 B
engine 2 16 -
file 2  "APP\\MAIN.BIN"      -  $work/intl/main.bin
file 14 "DOCS\\RÉSUMÉ.TXT"   -  $work/intl/resume.txt
MANIFEST
run pack "$(windows_path "$work/intl/manifest.txt")" -o "$(windows_path "$work/intl/ENGINE_16.FWP")"
printf 'notes\n' >"$card/NOTÉ Ø.TXT"
run "${card_shape[@]}" store --card E: --package "$(windows_path "$work/intl/ENGINE_16.FWP")" --yes --json
check "a store with accented names exits 0" test "$code" -eq 0
check "the accented card file is written under its name" cmp -s "$card/RÉSUMÉ.TXT" "$work/intl/resume.txt"
check "the JSON names it faithfully" grep -q '"E:\\\\RÉSUMÉ.TXT"' <<<"$out"
check "the JSON replaces no character" bash -c '! grep -q $'"'"'\xef\xbf\xbd'"'"' <<<"$1"' _ "$out"
check "the log is in the non-Latin documents folder" grep -q 'RÉSUMÉ.TXT' "$intl_data/fwp_downloader.log"
check "the transcript is beside it" test -s "$intl_data/DownloadDiagnostics.txt"
check "the accented file of the card is in the backup" \
  cmp -s "$intl_data/QUORVANE_ENGINE_CF_BACKUP/NOTÉ Ø.TXT" "$card/NOTÉ Ø.TXT"
documents_back
trap 'rm -rf "$work"' EXIT
rm -f "$card/NOTÉ Ø.TXT"

# A package over 1 GiB, stored by the 32-bit build: one stored (not deflated) file of zeros,
# sparse on the host and packed by the host build's cardwright. It must fit beside the rest of
# the job in a large-address-aware process.
if [[ "$exe" == *build-win32* ]]; then
  host_exe=${CARDWRIGHT_HOST_EXE:-}
  check "the host build's cardwright packs the large package" test -x "$host_exe"
  truncate -s 1073741824 "$work/zeros.bin"
  printf 'release 17\nformat 1 9 A\ngenerator 2 15 B\nengine 2 17 -\nfile 14 "ZEROS.BIN" - %s\n' \
    "$work/zeros.bin" >"$work/large.txt"
  "$host_exe" pack "$work/large.txt" -o "$work/LARGE.FWP" >/dev/null 2>&1
  rm -f "$work/zeros.bin"
  check "the large package is over 1 GiB" test "$(stat -c %s "$work/LARGE.FWP")" -gt 1073741824
  run --drive 'E:=E:\,removable,fs=FAT16,bytes=2147483648' store --card E: \
    --package "$(windows_path "$work/LARGE.FWP")" --yes
  check "the 32-bit build stores the large package" test "$code" -eq 0
  check "its file is on the card" test "$(stat -c %s "$card/ZEROS.BIN")" -eq 1073741824
  rm -f "$work/LARGE.FWP" "$card/ZEROS.BIN" "$card/UPGRADE.FWP"
fi

# The installer, silent: into Program Files, the uninstaller under "Apps", then taken out again
# with nothing left but the user's data folder.
# The installer is a 32-bit program (NSIS): without 32-bit Wine, make test names these checks
# as not run (CW_NO_WINE32) and they are left out here.
if [ -z "${CW_NO_WINE32:-}" ]; then
  setup=$(ls "$(dirname "$exe")"/cardwright-*-setup.exe 2>/dev/null | head -1)
  check "the installer is built" test -f "$setup"
  installed="$WINEPREFIX/drive_c/Program Files/Cardwright"
  bits=64
  [[ "$exe" == *build-win32* ]] && bits=32
  [ "$bits" = 32 ] && [ -d "$WINEPREFIX/drive_c/Program Files (x86)" ] &&
    installed="$WINEPREFIX/drive_c/Program Files (x86)/Cardwright"
  wine "$setup" /S </dev/null >/dev/null 2>&1
  check "the silent install puts both programs into Program Files" \
    test -f "$installed/cardwright.exe" -a -f "$installed/cardwright.com"
  run_installed=$(wine "$installed/cardwright.com" --version </dev/null 2>/dev/null | tr -d '\r')
  check "the installed cardwright tells its version" grep -qx "cardwright 1.061" <<<"$run_installed"
  uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Cardwright'
  registered=$(wine reg query "$uninstall_key" /reg:$bits 2>/dev/null | tr -d '\r')
  check "the uninstaller is registered with version, publisher and icon" \
    bash -c 'grep -q "DisplayVersion.*1.061" <<<"$1" && grep -q "Publisher.*Brevant" <<<"$1" &&
             grep -q "DisplayIcon.*cardwright.exe" <<<"$1"' _ "$registered"
  start_menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Cardwright.lnk"
  check "the Start menu has its entry" test -f "$start_menu"
  # The uninstaller runs from a copy of itself, so its end is the folder's going.
  wine "$installed/uninstall.exe" /S </dev/null >/dev/null 2>&1
  for _ in $(seq 100); do [ -e "$installed" ] || break; sleep 0.2; done
  check "the silent uninstall leaves nothing in Program Files" test ! -e "$installed"
  check "nor in the Start menu" test ! -e "$start_menu"
  check "nor under Apps" bash -c '! wine reg query "$1" /reg:$2 >/dev/null 2>&1' _ "$uninstall_key" "$bits"
  check "the user's data folder stays" test -s "$data/fwp_downloader.log"
fi

# A second store moves the first backup whole into the history (a write-through rename); that
# backup, chosen by its name, puts the card of before the first store back.
run "${card_shape[@]}" store --card E: --package "$(windows_path "$work/ENGINE_15.FWP")" --yes \
  --target engine
check "a second store exits 0" test "$code" -eq 0
history_folder="$data/QUORVANE_ENGINE_CF_BACKUP_HISTORY"
first_backup=$(ls "$history_folder" 2>/dev/null | grep -v '\.' | head -1)
check "the first backup moved whole into the history" \
  cmp -s "$history_folder/$first_backup/APP/MAIN.BIN" "$work/release-14/main.bin"
check "with its manifest" grep -q '^Files: ' "$history_folder/$first_backup.manifest"
# (That card was laid out by hand and never verified against its own package, so only what
# the restore put back is checked here.)
run "${card_shape[@]}" store --card E: --restore-only --backup "$first_backup"
check "a restore from the history puts its five files back" grep -qx "5 Files Restored" <<<"$out"
check "it put the card of before back" cmp -s "$card/APP/MAIN.BIN" "$work/release-14/main.bin"
check "its technician's file too" grep -qx "serviced 2024-03-01" "$card/SERVICE.TXT"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
