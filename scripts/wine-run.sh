#!/usr/bin/env bash
# Runs a Windows program under Wine: the emulator of the cross builds' tests. The prefix is
# $WINEPREFIX as the caller set it (scripts/wine-test.sh prepares one); Wine's own chatter
# stays off unless WINEDEBUG says otherwise.
export WINEDEBUG=${WINEDEBUG:--all}
exec wine "$@"
