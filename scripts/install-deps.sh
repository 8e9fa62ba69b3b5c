#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those that are missing.
# Safe to run again: a machine that has everything is left alone.
#
#   install-deps.sh          everything: make test, demo, windows, fuzz, bench, package
#   install-deps.sh native   only the native build and its quick tests (make check): no Wine,
#                            no User-Mode Linux, no clang
#   install-deps.sh needs SUITE GROUP...
#                            whether the packages of GROUPs are installed; when not, SUITE is
#                            noted in the report of suites not run and the status is 1
#
# A package mirror in mid-sync fails `apt-get update` on a list or two, and a package whose
# dependencies lag cannot be installed. The update is tried again a few times, then the lists
# that came are used; what can be installed is installed, and each package that could not be is
# written with apt's own reason to $CW_DEPS_REPORT (default build/missing-packages.txt), one
# "PACKAGE<TAB>REASON" line each. The make targets then run every suite that does not need it.
set -euo pipefail

report=${CW_DEPS_REPORT:-${BUILD:-build}/missing-packages.txt}
not_run=${CW_NOT_RUN_REPORT:-${BUILD:-build}/suites-not-run.txt}
update_tries=${CW_APT_UPDATE_TRIES:-3}
update_pause=${CW_APT_UPDATE_PAUSE:-20}

# Groups of packages, by what needs them.
declare -A groups=(
  # The native build and its quick tests (ctest -LE 'slow|fat|wine').
  [native]="build-essential cmake ninja-build pkg-config zlib1g-dev libcli11-dev
    nlohmann-json3-dev nettle-dev libgtest-dev libgmock-dev qt6-base-dev fonts-dejavu-core attr"
  # make bench
  [bench]="libbenchmark-dev"
  # The real-FAT tests: a Linux kernel as a process, with the FAT and device-mapper modules,
  # and the tools that make and check the card images.
  [fat]="user-mode-linux dmsetup e2fsprogs dosfstools mtools"
  # The Windows builds (their installers need makensis).
  [windows]="g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev googletest
    nsis"
  # Their tests under Wine; the 32-bit build's need wine32 (the i386 architecture).
  [wine64]="wine wine64"
  [wine32]="wine32:i386"
  # make windows-screenshot: the Windows window under Wine on a virtual X server, with Wine's
  # own fonts (Marlett draws the title bar's close box, Tahoma the dialogs' text)
  [screenshot]="xvfb xauth fonts-wine"
  # libFuzzer and clang's sanitizer runtimes (make fuzz); g++'s come with gcc itself
  [fuzz]="clang libclang-rt-14-dev"
  # The Debian package and its checks (make package)
  [package]="lintian desktop-file-utils help2man bash-completion man-db dpkg-dev fakeroot file"
)
all_groups=(native bench fat windows wine64 wine32 screenshot fuzz package)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# `needs SUITE GROUP...`: a suite runs when its packages are installed; else it is noted, with
# each missing package and apt's reason as the install recorded it.
if [ "${1:-}" = needs ]; then
  suite=$2
  shift 2
  why=()
  for group in "$@"; do
    for p in ${groups[$group]}; do
      installed "$p" && continue
      reason=$(awk -F'\t' -v p="$p" '$1 == p { print $2 }' "$report" 2>/dev/null | head -n 1)
      why+=("$p is not installed (${reason:-not installed: run make deps as root})")
    done
  done
  [ ${#why[@]} -eq 0 ] && exit 0
  mkdir -p "$(dirname "$not_run")"
  line="$suite was not run: $(IFS=';'; echo "${why[*]}" | sed 's/;/; /g')"
  grep -qxF "$line" "$not_run" 2>/dev/null || echo "$line" >>"$not_run"
  echo "$line" >&2
  exit 1
fi

set_name=${1:-all}
case "$set_name" in
  all) chosen=("${all_groups[@]}") ;;
  native) chosen=(native) ;;
  *) echo "usage: $0 [native | needs SUITE GROUP...]" >&2; exit 2 ;;
esac

missing=()
for group in "${chosen[@]}"; do
  for p in ${groups[$group]}; do installed "$p" || missing+=("$p"); done
done

if [ ${#missing[@]} -eq 0 ]; then
  rm -f "$report"
  exit 0
fi

# Within one `make test` the mirror is tried once; the later targets go by its report.
if [ -n "${CW_DEPS_TRIED:-}" ] && [ -f "$report" ]; then exit 0; fi

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]}; run as root (or install them) first" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

for try in $(seq 1 "$update_tries"); do
  apt-get update -qq && break
  if [ "$try" -lt "$update_tries" ]; then
    echo "apt-get update failed (try $try of $update_tries); trying again in ${update_pause} s" >&2
    sleep "$update_pause"
  else
    echo "apt-get update failed $update_tries times; going on with the package lists that came" >&2
  fi
done

apt_install() {
  apt-get install -y -qq --no-install-recommends "$@" 2>&1
}

# All at once, as before; on failure each group, and within a failed group each package, so
# one package that cannot be installed holds back no other.
mkdir -p "$(dirname "$report")"
: >"$report"
if ! apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
  for group in "${chosen[@]}"; do
    wanted=()
    for p in ${groups[$group]}; do installed "$p" || wanted+=("$p"); done
    [ ${#wanted[@]} -eq 0 ] && continue
    apt_install "${wanted[@]}" >/dev/null && continue
    for p in "${wanted[@]}"; do
      installed "$p" && continue
      out=$(apt_install "$p") && continue
      # apt's own reason: its unmet dependencies and its error lines, on one line.
      reason=$(printf '%s\n' "$out" | grep -E '^E: |Depends: |PreDepends: ' |
                 sed -E 's/^ +//; s/ +/ /g' | paste -sd ';' - | sed 's/;/; /g')
      printf '%s\t%s\n' "$p" "${reason:-apt-get install failed}" >>"$report"
    done
  done
fi

if [ -s "$report" ]; then
  echo "These packages could not be installed (the suites that need them will not run):" >&2
  sed 's/\t/: /' "$report" >&2
else
  rm -f "$report"
fi
