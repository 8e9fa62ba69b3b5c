#!/usr/bin/env bash
# scripts/install-deps.sh against a stand-in apt-get, dpkg-query, dpkg and id on PATH: a mirror
# in mid-sync (an update that fails), a package that cannot be installed, and a clean run.
set -uo pipefail
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

mkdir -p "$work/bin"
cat >"$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "$*" >>"$FAKE/calls"
if [ "$1" = update ]; then
  n=$(( $(cat "$FAKE/updates" 2>/dev/null || echo 0) + 1 )); echo "$n" >"$FAKE/updates"
  [ "$n" -gt "$UPDATE_FAILS" ] && exit 0
  echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
  exit 100
fi
shift 4  # install -y -qq --no-install-recommends
for p in "$@"; do
  if [ "$p" = "$BROKEN" ]; then
    echo "The following packages have unmet dependencies:"
    echo " $p : Depends: libwine:i386 (= 8.0~repack-4) but 8.0~repack-3 is to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100
  fi
done
printf '%s\n' "$@" >>"$FAKE/installed"
STUB
cat >"$work/bin/dpkg-query" <<'STUB'
#!/usr/bin/env bash
grep -qxF "${!#}" "$FAKE/installed" 2>/dev/null && printf 'install ok installed' && exit 0
exit 1
STUB
printf '#!/bin/sh\n[ "$1" = --print-foreign-architectures ] && echo i386\nexit 0\n' >"$work/bin/dpkg"
printf '#!/bin/sh\necho 0\n' >"$work/bin/id"
chmod +x "$work/bin/"*

expect() {  # expect NAME CONDITION-COMMAND...
  local name=$1; shift
  if ! "$@"; then echo "FAIL: $name"; failures=$((failures + 1)); fi
}

# case: installed-before  update-fails  broken  | status  updates  report-line  installs
cases=(
  "native-installed 0 - 0 0 - 0"
  "clean 0 - 0 1 - 1"
  "mirror-mid-sync 2 - 0 3 - 1"
  "update-never-works 9 - 0 3 - 1"
  "wine32-uninstallable 1 wine32:i386 0 2 wine32:i386 many"
)
for row in "${cases[@]}"; do
  read -r name fails broken status updates missing installs <<<"$row"
  export FAKE="$work/$name" UPDATE_FAILS=$fails BROKEN=$broken
  mkdir -p "$FAKE"
  [ "$name" = native-installed ] && for p in build-essential cmake ninja-build pkg-config \
    zlib1g-dev libcli11-dev nlohmann-json3-dev libgtest-dev libgmock-dev qt6-base-dev \
    fonts-dejavu-core attr; do echo "$p" >>"$FAKE/installed"; done
  set_name=all; [ "$name" = native-installed ] && set_name=native
  PATH="$work/bin:$PATH" BUILD="$FAKE/build" CW_APT_UPDATE_TRIES=3 CW_APT_UPDATE_PAUSE=0 \
    bash "$script" "$set_name" >"$FAKE/out" 2>&1
  expect "$name: status" [ $? -eq "$status" ]
  expect "$name: updates" [ "$(cat "$FAKE/updates" 2>/dev/null || echo 0)" -eq "$updates" ]
  n=$(grep -c '^install' "$FAKE/calls" 2>/dev/null); n=${n:-0}
  if [ "$installs" = many ]; then expect "$name: installs" [ "$n" -gt 2 ]
  else expect "$name: installs" [ "$n" -eq "$installs" ]; fi
  report="$FAKE/build/missing-packages.txt"
  if [ "$missing" = - ]; then
    expect "$name: no report" [ ! -e "$report" ]
    continue
  fi
  # Only the broken package is missing, with apt's own reason; every other one came.
  expect "$name: reason" grep -qxF "$missing	$missing : Depends: libwine:i386 (= 8.0~repack-4) but 8.0~repack-3 is to be installed; E: Unable to correct problems, you have held broken packages." "$report"
  expect "$name: one missing" [ "$(wc -l <"$report")" -eq 1 ]
  expect "$name: the rest installed" grep -qxF nsis "$FAKE/installed"
  # A suite that needs it is not run, and named with the package and the reason.
  PATH="$work/bin:$PATH" BUILD="$FAKE/build" bash "$script" needs "the 32-bit suites" wine64 wine32 2>/dev/null
  expect "$name: needs refuses" [ $? -eq 1 ]
  expect "$name: suite named" grep -q "^the 32-bit suites was not run: $missing is not installed ($missing : Depends: libwine" "$FAKE/build/suites-not-run.txt"
  PATH="$work/bin:$PATH" BUILD="$FAKE/build" bash "$script" needs "the real-FAT suites" fat
  expect "$name: needs allows" [ $? -eq 0 ]
  expect "$name: one suite not run" [ "$(wc -l <"$FAKE/build/suites-not-run.txt")" -eq 1 ]
done
[ "$failures" -eq 0 ] && echo "install-deps: all cases passed"
exit "$failures"
