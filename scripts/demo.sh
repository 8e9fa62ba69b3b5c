#!/usr/bin/env bash
# The demo: a sample folder mapped as a removable FAT16 card, shown in the drive map.
set -euo pipefail
exe=${1:-build/cardwright}
work=$(mktemp -d /tmp/cardwright-demo.XXXXXX)
mkdir -p "$work/card"
echo "== sample card: $work/card"
"$exe" --drive "E:=$work/card,removable,fs=FAT16,bytes=67108864" drives
