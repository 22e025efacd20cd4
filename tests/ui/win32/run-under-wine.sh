#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# run-under-wine.sh PROGRAM.exe [ARGS...]: runs a Windows test program under
# Wine in a private X server (the dialog manager needs a display) and passes
# its exit status on. The prefix is $WINEPREFIX, else a temporary one that
# is removed afterwards; Wine's chatter is off.
set -euo pipefail
temporary=
if [[ -z ${WINEPREFIX:-} ]]; then
  temporary=$(mktemp -d)
  export WINEPREFIX=$temporary/prefix
fi
export WINEPREFIX=$(realpath -m "$WINEPREFIX")
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=d}
status=0
xvfb-run -a -s "-screen 0 1024x768x24" wine "$@" || status=$?
if [[ -n $temporary ]]; then
  wineserver -w 2>/dev/null || true
  rm -rf "$temporary"
fi
exit $status
