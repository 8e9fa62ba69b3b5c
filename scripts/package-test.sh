#!/usr/bin/env bash
# Installs the built Debian package into this machine with dpkg -i, checks what it promises
# (the program and its version, the manual, the bash completion, the desktop entry and icons,
# the window starting), and removes it again whatever happens. Run as root by `make test`.
#   scripts/package-test.sh BUILD-FOLDER
set -euo pipefail
build=${1:?usage: package-test.sh BUILD-FOLDER}
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
  echo "package-test: needs root (dpkg -i into this machine); skipped" >&2
  exit 0
fi
version=$(sed -n 's/^project(cardwright VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=$(ls "$build"/cardwright_"$version"_*.deb)
if dpkg-query -W -f='${Status}' cardwright 2>/dev/null | grep -q installed; then
  echo "package-test: a cardwright package is already installed; it is not replaced" >&2
  exit 1
fi

failures=0
fail() {
  echo "package-test: FAIL: $*" >&2
  failures=$((failures + 1))
}

work=$(mktemp -d)
# Whatever happens below, nothing of the package stays on the machine.
cleanup() {
  dpkg --purge cardwright >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# No errors; warnings are shown (the README lists any that are kept, and why).
lintian --fail-on error "$deb" >"$work/lintian" 2>&1 || fail "lintian reports errors"
grep -v 'running with root privileges' "$work/lintian" || true

# Container images often exclude manuals and documents from installs; this package's own are
# part of what is tested.
dpkg -i --path-include='/usr/share/man/man1/cardwright.1.gz' \
  --path-include='/usr/share/doc/cardwright/*' "$deb" >/dev/null

# The program and its one version.
[ "$(command -v cardwright)" = /usr/bin/cardwright ] || fail "cardwright is not /usr/bin/cardwright"
[ "$(cardwright --version)" = "cardwright $version" ] ||
  fail "cardwright --version says '$(cardwright --version)', the package is $version"
[ "$(dpkg-query -W -f='${Version}' cardwright)" = "$version" ] || fail "package version"

# The manual: found, and naming every subcommand and every option their help lists.
[ "$(man -w cardwright)" = /usr/share/man/man1/cardwright.1.gz ] || fail "man -w cardwright"
manual=$(MANWIDTH=200 man -P cat cardwright 2>/dev/null | col -b)
for section in "COMMANDS" "DRIVE MAPPING" "ENVIRONMENT" "FILES" "EXIT STATUS" "CARDWRIGHT_DRIVES"; do
  grep -q "$section" <<<"$manual" || fail "the manual lacks $section"
done
for sub in "" backups drives inspect journal pack verify store; do
  # shellcheck disable=SC2086
  for option in $(cardwright $sub --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" <<<"$manual" || fail "the manual does not name ${sub:-cardwright} $option"
  done
  [ -z "$sub" ] || grep -q "^ *$sub" <<<"$manual" || fail "the manual does not list $sub"
done

# Bash completion, loaded on demand as bash-completion loads it.
complete_words() {
  HOME=$work bash --norc -c '
    source /usr/share/bash-completion/bash_completion
    _completion_loader cardwright
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    $(complete -p cardwright | sed "s/.*-F \([^ ]*\).*/\1/") cardwright "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' _ "$@"
}
expect_completion() {
  local want=$1
  shift
  local got
  got=$(complete_words "$@")
  [ "$got" = "$want" ] || fail "completing '$*': got '$got', want '$want'"
}
expect_completion "store " cardwright st
expect_completion "backups drives inspect journal pack store verify " cardwright ""
expect_completion "--since " cardwright journal --si
expect_completion "--no-backup " cardwright store --card E: --no
expect_completion "engine panel " cardwright store --target ""
expect_completion "3940 3950 " cardwright store --panel-model ""
expect_completion "--json " cardwright verify --j

# The desktop entry and its icon at every size, drawn at that size.
entry=/usr/share/applications/cardwright.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate $entry"
grep -qx 'Categories=Utility;' "$entry" || fail "the desktop entry is not in Utility"
grep -qx 'Exec=cardwright' "$entry" || fail "the desktop entry does not start cardwright"
for side in 16 22 24 32 48 64 128 256; do
  icon=/usr/share/icons/hicolor/${side}x$side/apps/cardwright.png
  file "$icon" | grep -q "PNG image data, $side x $side" || fail "icon $icon"
done
[ -f /usr/share/doc/cardwright/json.md ] || fail "docs: json.md"

# Launchable: the window opens (offscreen) and keeps running until it is ended.
status=0
HOME=$work QT_QPA_PLATFORM=offscreen timeout 3 cardwright >"$work/window.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || fail "the window ended by itself (status $status): $(cat "$work/window.log")"

dpkg --purge cardwright >/dev/null
[ ! -e /usr/bin/cardwright ] || fail "/usr/bin/cardwright is still there after removal"

if [ "$failures" -ne 0 ]; then
  echo "package-test: $failures check(s) failed" >&2
  exit 1
fi
echo "package-test: $deb installed, checked and removed"
