#!/usr/bin/env bash
# scripts/install-deps.sh against a stand-in apt-get, dpkg-query, dpkg and id on PATH: a mirror
# in mid-sync (an update that fails), a package that cannot be installed, and a clean run.
set -uo pipefail
script=$1 work=$(mktemp -d) failures=0
trap 'rm -rf "$work"' EXIT
b=$work/bin
mkdir -p "$b"
cat >"$b/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "$*" >>"$FAKE/calls"
if [ "$1" = update ]; then
  echo x >>"$FAKE/updates"
  [ "$(wc -l <"$FAKE/updates")" -gt "$UPDATE_FAILS" ] && exit 0
  echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
  exit 100
fi
shift 4  # install -y -qq --no-install-recommends
if [[ " $* " == *" $BROKEN "* ]]; then
  printf '%s\n' "The following packages have unmet dependencies:" " $BROKEN : Depends: libwine:i386 \
(= 8.0~repack-4) but 8.0~repack-3 is to be installed" "E: Unable to correct problems, you have held broken packages."
  exit 100
fi
printf '%s\n' "$@" >>"$FAKE/installed"
STUB
printf '#!/bin/sh\ngrep -qxF "$3" "$FAKE/installed" 2>/dev/null && printf "install ok installed"\n' >"$b/dpkg-query"
printf '#!/bin/sh\n[ "$1" = --print-foreign-architectures ] && echo i386\nexit 0\n' >"$b/dpkg"
printf '#!/bin/sh\necho 0\n' >"$b/id"
chmod +x "$b"/*
expect() { "${@:2}" || { echo "FAIL: $name: $1"; failures=$((failures + 1)); }; }
lines() { cat "$@" 2>/dev/null | wc -l; }
run() { PATH="$b:$PATH" BUILD="$FAKE/build" CW_APT_UPDATE_TRIES=3 CW_APT_UPDATE_PAUSE=0 bash "$script" "$@"; }

# name  set  update-fails  broken  | status  updates  installs (+: more than two)
for row in "native-installed native 0 -  0 0 0" "clean all 0 -  0 1 1" "mirror-mid-sync all 2 -  0 3 1" \
           "update-never-works all 9 -  0 3 1" "wine32-uninstallable all 1 wine32:i386  0 2 +"; do
  read -r name set fails broken status updates installs <<<"$row"
  export FAKE="$work/$name" UPDATE_FAILS=$fails BROKEN=$broken
  mkdir -p "$FAKE"
  [ "$set" = native ] && echo build-essential cmake ninja-build pkg-config zlib1g-dev libcli11-dev \
    nlohmann-json3-dev nettle-dev libgtest-dev libgmock-dev qt6-base-dev fonts-dejavu-core attr | tr ' ' '\n' >"$FAKE/installed"
  run "$set" >"$FAKE/out" 2>&1
  expect status [ $? -eq "$status" ]
  expect updates [ "$(lines "$FAKE/updates")" -eq "$updates" ]
  n=$(grep -c '^install' "$FAKE/calls" 2>/dev/null)
  if [ "$installs" = + ]; then expect installs [ "$n" -gt 2 ]; else expect installs [ "${n:-0}" -eq "$installs" ]; fi
  report="$FAKE/build/missing-packages.txt"
  [ "$broken" = - ] && { expect "no report" [ ! -e "$report" ]; continue; }
  # Only the broken package is missing, with apt's own reason; every other one came.
  expect reason [ "$(cat "$report")" = "$broken	$broken : Depends: libwine:i386 (= 8.0~repack-4) but 8.0~repack-3 is to be installed; E: Unable to correct problems, you have held broken packages." ]
  expect "the rest installed" grep -qxF nsis "$FAKE/installed"
  # A suite that needs it is not run, and named with the package and the reason; another runs.
  run needs "the 32-bit suites" wine64 wine32 2>/dev/null
  expect "needs refuses" [ $? -eq 1 ]
  run needs "the real-FAT suites" fat
  expect "needs allows" [ $? -eq 0 ]
  expect "suite named" [ "$(lines "$FAKE/build/suites-not-run.txt")" -eq 1 ]
  expect "suite named" grep -q "^the 32-bit suites was not run: $broken is not installed ($broken : Depends: libwine" "$FAKE/build/suites-not-run.txt"
done
[ "$failures" -eq 0 ] && echo "install-deps: all cases passed"
exit "$failures"
