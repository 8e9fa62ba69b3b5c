#!/usr/bin/env bash
# Writes a PNG of the window as an operator sees it: a sample package chosen, a panel card
# mapped as drive D: and picked in the tree. The program draws the picture itself on Qt's
# offscreen platform, so no display (and no Xvfb) is needed.
#   scripts/screenshot.sh [CARDWRIGHT] [OUT.png]
set -euo pipefail

exe=${1:-build/cardwright}
out=${2:-build/screenshot.png}
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A package with just its prefix and version block: format 1.009, generator 3.002,
# engine software 2.015B, panel software 1.007.
int32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x00\\x00"; }
value() { printf '%s\r\n' "$1"; "${@:2}"; printf '\r\n'; }
mkdir -p "$work/packages"
{
  head -c 32 /dev/zero
  printf 'QUORVANE FWP PACKAGE\r\n'
  value "FWP File Format Version: " int32 1
  value "FWP File Format Revision: " int32 9
  value "FWP File Format Letter: " printf A
  value "FWP File Generator Version: " int32 3
  value "FWP File Generator Revision: " int32 2
  value "FWP File Generator Letter: " printf A
  value "Engine App Software Version: " int32 2
  value "Engine App Software Revision: " int32 15
  value "Engine App Software Letter: " printf B
  value "Panel Software Version: " int32 1
  value "Panel Software Revision: " int32 7
  value "Panel Software Letter: " printf '\x00'
} >"$work/packages/QV_RELEASE_2_015B.FWP"

# A panel card, and the data folder remembering the package.
mkdir -p "$work/card/Brevant" "$work/card/WD" "$work/card/Backup"
printf 'BM' >"$work/card/BOOT.BMP"
printf 'nk' >"$work/card/NK.BIN"
data="$work/home/Documents/BREVANT/QUORVANE"
mkdir -p "$data" "$work/runtime"
chmod 700 "$work/runtime"
printf 'P:\\QV_RELEASE_2_015B.FWP' >"$data/LastPathUsed.txt"

HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime" \
  QT_QPA_PLATFORM=offscreen CARDWRIGHT_DRIVES="" CARDWRIGHT_SCREENSHOT="$out" \
  "$exe" --drive "D:=$work/card,removable,fs=FAT,bytes=128450560" --drive "P:=$work/packages,fixed"
echo "wrote $out"
