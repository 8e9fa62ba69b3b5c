#!/usr/bin/env bash
# End-to-end runs of cardwright.exe under Wine, started by wine-test.sh, which maps the empty
# folder $CARDWRIGHT_WINE_CARD_HOST as the removable drive E: of a fresh Wine prefix.
# Prints "N passed, N failed" last; exits non-zero when any check failed.
set -uo pipefail

exe=${1:?cardwright.exe}
passed=0
failed=0
out=""
err=""
code=0

# Runs the program; keeps its exit code and its output with Windows' CR removed.
run() {
  local o e
  o=$(mktemp) e=$(mktemp)
  wine "$exe" "$@" </dev/null >"$o" 2>"$e"
  code=$?
  out=$(tr -d '\r' <"$o")
  err=$(tr -d '\r' <"$e")
  rm -f "$o" "$e"
}

check() {  # check NAME CONDITION...
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

# The drive map: E: is the removable card, C: the fixed system drive.
run drives
check "drives exits 0" test "$code" -eq 0
check "E: is removable" has_line 'E:  +E:\\ +removable +[^ ]+ +[0-9]+' "$out"
check "C: is fixed" has_line 'C:  +C:\\ +fixed +[^ ]+ +[0-9]+' "$out"

# Mappings are not needed on Windows, but a malformed one is refused all the same.
run --drive "E=C:\\card" drives
check "a malformed mapping is refused" test "$code" -eq 2
check "the refusal says why" grep -q "expected LETTER:=FOLDER" <<<"$err"

# A well-formed mapping overrides the real drive's type, file system and size.
run --drive "E:=E:\\,fixed,fs=FAT16,bytes=67108864" drives
check "mapping overrides exit 0" test "$code" -eq 0
check "mapping overrides apply" has_line 'E:  +E:\\ +fixed +FAT16 +67108864' "$out"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
