#!/usr/bin/env bash
# The demo: an Engine card holding an older release is backed up, programmed with a new release
# and verified, as a technician would do it; then the card is verified once more on its own.
# Everything happens in a temporary folder: the packages, the card (a folder mapped as a
# removable FAT16 drive E:) and the data folder (HOME points there).
set -euo pipefail

exe=$(realpath "${1:-build/cardwright}")
work=$(mktemp -d /tmp/cardwright-demo.XXXXXX)
card="$work/card"
export HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config"
unset CARDWRIGHT_DRIVES
mkdir -p "$card" "$HOME" "$work/release/engine"
drive=(--drive "E:=$card,removable,fs=FAT16,bytes=67108864")

say() { printf '\n== %s\n' "$*"; }

# One release's sources and manifest; $1 is the engine version, $2 the revision.
make_release() {
  local dir="$work/release-$1.$2"
  mkdir -p "$dir/engine"
  printf 'engine controller application %s.%03d\n' "$1" "$2" >"$dir/engine/main.bin"
  head -c 20000 /dev/zero | tr '\0' 'T' >"$dir/engine/tables.dat"
  printf 'zlib runtime\n' >"$dir/engine/zlibce.dll"
  printf 'Release notes for %s.%03d\n' "$1" "$2" >"$dir/readme.txt"
  cat >"$dir/manifest.txt" <<EOF
# Engine release $1.$2
release $2
format 1 9 A
generator 2 15 B
engine $1 $2 -
file 2  "APP\\MAIN.BIN"       -  engine/main.bin
file 7  "APP\\DATA\\TABLES.DAT" -  engine/tables.dat
file 10 "ZLIBCE.DLL"          -  engine/zlibce.dll
file 14 "DOCS\\README.TXT"     -  readme.txt
EOF
  "$exe" pack "$dir/manifest.txt" -o "$work/ENGINE_$1_$2.FWP" >/dev/null
}

say "building two releases with cardwright pack"
make_release 2 14
make_release 2 15
ls -l "$work"/*.FWP | awk '{print "  " $5 " bytes  " $9}'

say "an Engine card with release 2.014 installed, and a note of the technician's"
(
  cd "$card"
  cp "$work/ENGINE_2_14.FWP" UPGRADE.FWP
  mkdir -p APP/DATA
  cp "$work/release-2.14/engine/main.bin" APP/MAIN.BIN
  cp "$work/release-2.14/engine/tables.dat" APP/DATA/TABLES.DAT
  cp "$work/release-2.14/engine/zlibce.dll" ZLIBCE.DLL
  cp "$work/release-2.14/readme.txt" README.TXT
  printf 'serviced 2024-03-01\n' >SERVICE.TXT
)
"$exe" "${drive[@]}" drives | sed 's/^/  /'

show_card() {
  (cd "$card" && find . -type f -printf '  %-22P %8s bytes\n' | sort)
}
show_card

say "cardwright store --card E: --package ENGINE_2_15.FWP --yes"
set +e
"$exe" "${drive[@]}" store --card E: --package "$work/ENGINE_2_15.FWP" --yes
store_status=$?
data="$HOME/Documents/BREVANT/QUORVANE"
# Each run saves its own transcript; keep the store's.
cp "$data/DownloadDiagnostics.txt" "$work/store-transcript.txt" 2>/dev/null || true
say "cardwright verify --card E:   (against the card's own stored copy)"
"$exe" "${drive[@]}" verify --card E:
verify_status=$?
set -e

say "what happened"
echo "  store exit status:  $store_status"
echo "  verify exit status: $verify_status"
echo "  the card now:"
show_card
echo "  APP/MAIN.BIN: $(cat "$card/APP/MAIN.BIN")"
echo "  FWPVers.bin:  $(od -An -tx1 "$card/FWPVers.bin" | tr -s ' \n' ' ')"
if cmp -s "$card/UPGRADE.FWP" "$work/ENGINE_2_15.FWP"; then
  echo "  UPGRADE.FWP is the new package, byte for byte"
fi
echo "  the backup of the old card ($data/QUORVANE_ENGINE_CF_BACKUP):"
(cd "$data/QUORVANE_ENGINE_CF_BACKUP" && find . -type f -printf '    %P\n' | sort)

say "FWP_INFO_FILE.TXT on the card"
tr -d '\r' <"$card/FWP_INFO_FILE.TXT" | sed 's/^/  /'

say "the end of the store's transcript (DownloadDiagnostics.txt)"
tr -d '\r' <"$work/store-transcript.txt" | tail -n 14 | sed 's/^/  /'
echo
say "stage lines of the log ($data/fwp_downloader.log)"
tr -d '\r' <"$data/fwp_downloader.log" | grep -E ' -   Stage [0-9]+\.\.\.$' | sed 's/^/  /' | tail -n 18

echo
echo "Everything is in $work (remove it when done)."
[ "$store_status" -eq 0 ] && [ "$verify_status" -eq 0 ]
