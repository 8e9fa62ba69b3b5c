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

# A real package, built by the program's own writer: a panel release with a new engine
# application.
mkdir -p "$work/src/panel" "$work/packages"
printf 'engine application\n' >"$work/src/main.bin"
printf 'panel application\n' >"$work/src/panel/panel.exe"
cat >"$work/src/manifest.txt" <<'MANIFEST'
release 42
format 1 9 A
generator 3 2 A
engine 2 15 B
panel 1 7 -
file 2  "APP\MAIN.BIN"       -  main.bin
file 3  "BREVANT\PANEL.EXE"  -  panel/panel.exe
crclist 3940 "Quorvane File CRCs.dat"
MANIFEST
"$exe" pack "$work/src/manifest.txt" -o "$work/packages/QV_RELEASE_2_015B.FWP" >/dev/null

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
