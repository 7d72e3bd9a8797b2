#!/bin/sh
# wine-run.sh <wine prefix> [<program.exe> [arguments...]]
# Runs a program of the Windows cross build under Wine; the mingw toolchain makes it
# ctest's emulator. Without a program it only gets Wine ready.
#
# The first call starts a wineserver that outlives each program by 60 s and starts its
# services with "wineboot --init", which also creates the prefix the first time. Both are
# detached from the caller's pipes and from the lock: Wine's background services inherit
# whatever the program that starts them holds open, and ctest would wait for them to
# close its pipe, other calls for them to release the lock.
set -eu
WINEPREFIX="$1"
shift
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"                          # also the missing-wine32 hint
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}" # never offer Mono or Gecko
mkdir -p "$WINEPREFIX"
(
    flock 9
    # Exit status 0: no server was running for this prefix, so this one is new and cold.
    if wineserver -p60 </dev/null >/dev/null 2>&1 9>&-; then
        wine wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
    fi
) 9>"$WINEPREFIX.lock"
[ $# -eq 0 ] || exec wine "$@"
