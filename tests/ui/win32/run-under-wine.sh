#!/usr/bin/env bash
# run-under-wine.sh WINEPREFIX PROGRAM.exe [ARGS...]: runs a Windows test
# program under Wine in a private X server and passes its exit status on.
# The prefix is created on first use (about 10 s); Wine's chatter is off.
set -euo pipefail
export WINEPREFIX=$(realpath -m "$1")
shift
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$(dirname "$WINEPREFIX")"
exec xvfb-run -a -s "-screen 0 1024x768x24" wine "$@"
