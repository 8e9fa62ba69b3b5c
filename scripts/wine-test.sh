#!/usr/bin/env bash
# Runs the Windows builds under Wine, as ctest entries of the host build.
#
#   wine-test.sh unit WINBUILD STATE   the cross-built unit tests (ctest in WINBUILD, Wine as
#                                      the emulator)
#   wine-test.sh cli  WINBUILD STATE   end-to-end runs of WINBUILD/cardwright.exe
#
# STATE is a folder of the host build that keeps the Wine prefix between runs (making one
# takes ~20 s). Each run maps a fresh temporary folder as drive E:, a removable drive
# (Wine's "floppy" type), and starts without a documents folder, so the program must create
# it. Exit 77 (skipped, with the reason on stdout) when Wine or the build is missing or Wine
# cannot start; never a pass that ran nothing.
set -uo pipefail

mode=${1:?mode}
winbuild=${2:?windows build folder}
state=${3:?state folder}
here=$(cd "$(dirname "$0")" && pwd)
SKIP=77

skip() { echo "SKIPPED: $*"; exit $SKIP; }

command -v wine >/dev/null && command -v wineserver >/dev/null ||
  skip "Wine is not installed (scripts/install-deps.sh installs wine, wine64, wine32)"
[ -f "$winbuild/cardwright.exe" ] || skip "$winbuild/cardwright.exe is not built (make windows)"
if [ "$(basename "$winbuild")" = build-win32 ] && [ ! -d /usr/lib/i386-linux-gnu/wine ]; then
  skip "32-bit Wine (wine32:i386) is not installed"
fi

# Wine's background processes inherit whatever output they are started with; ctest would wait
# for them to close its pipes. So every server start is told to keep nothing open.
quiet() { "$@" </dev/null >/dev/null 2>&1; }

export WINEPREFIX="$state/prefix"
export WINEDEBUG=-all
# No Mono or Gecko installer, no menu entries in the home folder.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine links the documents folder (and others) to the home folder whenever it makes them, also
# when a program asks for a missing one: a home of our own keeps every write in the run.
run_home=$(mktemp -d /tmp/cardwright-wine-home.XXXXXX)
export HOME="$run_home" XDG_CONFIG_HOME="$run_home/.config" XDG_DATA_HOME="$run_home/.local/share"
card=$(mktemp -d /tmp/cardwright-wine-card.XXXXXX)
user=$(id -un)
users_folder="$WINEPREFIX/drive_c/users/$user"
# Every run starts without a documents folder and leaves none behind (a link into a home that
# is gone would be taken for a missing folder, and Wine would then make "DOCUMENTS" beside it).
drop_documents() { find "$users_folder" -maxdepth 1 -iname documents -exec rm -rf {} + 2>/dev/null; }
trap 'quiet wineserver -k; drop_documents; rm -rf "$card" "$run_home"' EXIT

make_prefix() {
  rm -rf "$WINEPREFIX"
  mkdir -p "$state"
  quiet timeout 300 wineboot -i || return 1
  # The shell folders point at the home of that run, which goes away.
  for link in "$users_folder"/*; do
    [ -L "$link" ] && rm -f "$link"
  done
  quiet wine reg add 'HKLM\Software\Wine\Drives' /v e: /t REG_SZ /d floppy /f /reg:64 || return 1
  quiet wineserver -k
  quiet wineserver -w
  touch "$state/prefix.ready"
}

(
  flock 9
  [ -f "$state/prefix.ready" ] || make_prefix || { rm -rf "$WINEPREFIX"; exit 1; }
) 9>"$state.lock" || skip "Wine could not make a prefix in $WINEPREFIX"

ln -sfn "$card" "$WINEPREFIX/dosdevices/e:"
drop_documents  # the program must have it made (Wine links it to $HOME, so into $run_home)

quiet wineserver -p
quiet timeout 120 wine cmd /c exit || skip "Wine cannot start programs here"

export CARDWRIGHT_WINE_CARD=E:
export CARDWRIGHT_WINE_CARD_BYTES=$(df -B1 --output=size "$card" | tail -1 | tr -d ' ')
export CARDWRIGHT_WINE_DOCUMENTS="C:\\users\\$user\\Documents"
export CARDWRIGHT_WINE_DOCUMENTS_HOST="$users_folder/Documents"
export CARDWRIGHT_WINE_CARD_HOST="$card"
# The host build (STATE lies in it) packs what is too large to pack under Wine quickly.
export CARDWRIGHT_HOST_EXE=${CARDWRIGHT_HOST_EXE:-$(dirname "$state")/cardwright}

case "$mode" in
  unit)
    # The window's tests make real windows; Wine's null display driver gives them a desktop
    # without an X server.
    quiet wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
    # Without a desktop folder Wine's shell gives no icons; the window's tests rely on that
    # (a test that wants the shell makes the folder).
    rm -rf "$users_folder/Desktop"
    cd "$winbuild" && ctest --output-on-failure -j 2
    ;;
  cli)
    bash "${CARDWRIGHT_WINE_CLI_SCRIPT:-$here/wine-cli-test.sh}" "$winbuild/cardwright.exe"
    ;;
  *)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac
