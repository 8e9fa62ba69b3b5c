#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those that are missing.
# Safe to run again: a machine that has everything is left alone.
#
#   install-deps.sh          everything: make test, demo, windows, fuzz, bench, package
#   install-deps.sh native   only the native build and its quick tests (make check): no Wine,
#                            no User-Mode Linux, no clang
set -euo pipefail

set_name=${1:-all}
case "$set_name" in
  all | native) ;;
  *) echo "usage: $0 [native]" >&2; exit 2 ;;
esac

# The native build and its quick tests (ctest -LE 'slow|fat|wine').
packages=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev
  qt6-base-dev fonts-dejavu-core
  attr
)
if [ "$set_name" = all ]; then
  packages+=(
  # make bench
  libbenchmark-dev
  # The real-FAT tests: a Linux kernel as a process, with the FAT and device-mapper modules,
  # and the tools that make and check the card images.
  user-mode-linux dmsetup e2fsprogs dosfstools mtools
  # The Windows builds and their tests under Wine (wine32 needs the i386 architecture).
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev googletest
  wine wine64 wine32:i386
  # make windows-screenshot: the Windows window under Wine on a virtual X server, with Wine's
  # own fonts (Marlett draws the title bar's close box, Tahoma the dialogs' text)
  xvfb xauth fonts-wine
  # make windows: the installers (makensis)
  nsis
  # libFuzzer and clang's sanitizer runtimes (make fuzz); g++'s come with gcc itself
  clang libclang-rt-14-dev
  # The Debian package and its checks (make package)
  lintian desktop-file-utils help2man bash-completion man-db dpkg-dev fakeroot file
  )
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]}; run as root (or install them) first" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
