#!/usr/bin/env bash
# Writes a PNG of the Windows window as an operator sees it: cardwright.exe under Wine on a
# virtual X server (Xvfb), a sample package remembered from the last run, a panel card as the
# removable drive E: picked in the tree. The program takes the picture of itself
# (CARDWRIGHT_SCREENSHOT). Wine draws the window frame itself, as no window manager runs.
#   scripts/wine-screenshot.sh WINBUILD/cardwright.exe OUT.png
set -euo pipefail

exe=$(realpath "${1:?cardwright.exe}")
out=${2:?OUT.png}
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (scripts/install-deps.sh installs xvfb)" >&2; exit 1; }

state="$(dirname "$exe")/wine-screenshot"
work=${4:-$(mktemp -d /tmp/cardwright-shot.XXXXXX)}
export WINEPREFIX="$state/prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$HOME"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
windows_path() { echo "Z:${1//\//\\}"; }

inner() {
  local users="$WINEPREFIX/drive_c/users/$(id -un)"
  if [ ! -f "$state/prefix.ready" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$state"
    wineboot -i >/dev/null 2>&1
    # No window manager runs on Xvfb: Wine frames its windows itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wine reg add 'HKLM\Software\Wine\Drives' /v e: /t REG_SZ /d floppy /f /reg:64 >/dev/null 2>&1
    wineserver -w
    touch "$state/prefix.ready"
  fi
  # Wine's own TrueType fonts (Debian's fonts-wine), where Windows keeps its fonts: Marlett
  # draws the title bar's close box (an "r" without it), Tahoma the dialogs' text.
  if [ -d /usr/share/wine/fonts ]; then
    cp -u /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  # The shell folders pointed into a home that is gone: real folders instead.
  for link in "$users"/*; do [ -L "$link" ] && rm -f "$link"; done
  mkdir -p "$users/Desktop"
  rm -rf "$users/Documents"

  # A panel release with a new engine application, packed by the program itself.
  mkdir -p "$work/src/panel" "$work/packages" "$work/card/Brevant" "$work/card/WD" "$work/card/Backup"
  printf 'engine application\n' >"$work/src/main.bin"
  printf 'panel application\n' >"$work/src/panel/panel.exe"
  cat >"$work/src/manifest.txt" <<MANIFEST
release 42
format 1 9 A
generator 3 2 A
engine 2 15 B
panel 1 7 -
file 2  "APP\\MAIN.BIN"       -  $work/src/main.bin
file 3  "BREVANT\\PANEL.EXE"  -  $work/src/panel/panel.exe
crclist 3940 "Quorvane File CRCs.dat"
MANIFEST
  printf 'BM' >"$work/card/BOOT.BMP"
  printf 'nk' >"$work/card/NK.BIN"
  # The card is E:, the packages' folder P:, before Wine's drive list is first read.
  wineserver -k >/dev/null 2>&1 || true
  ln -sfn "$work/card" "$WINEPREFIX/dosdevices/e:"
  ln -sfn "$work/packages" "$WINEPREFIX/dosdevices/p:"
  wine "$exe" pack "$(windows_path "$work/src/manifest.txt")" -o 'P:\QV_RELEASE_2_015B.FWP' \
    </dev/null >/dev/null
  local data="$users/Documents/BREVANT/QUORVANE"
  mkdir -p "$data"
  printf 'P:\\QV_RELEASE_2_015B.FWP' >"$data/LastPathUsed.txt"

  CARDWRIGHT_SCREENSHOT="$(windows_path "$out")" wine "$exe" </dev/null
  wineserver -k >/dev/null 2>&1 || true
}
if [ "${3:-}" = --on-display ]; then
  inner
  exit
fi
trap - EXIT
# Again on the virtual display, keeping this run's folders (xvfb-run starts a plain shell, which
# drops exported functions).
xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$exe" "$out" --on-display "$work"
rm -rf "$work"
[ -s "$out" ] || { echo "no screenshot was written" >&2; exit 1; }
echo "wrote $out"
