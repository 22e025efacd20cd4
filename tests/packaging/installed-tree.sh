#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# `cmake --install` into a scratch root: exactly the files a package ships
# (installed-files.txt), the desktop entry and metainfo valid where they
# are installed, and the manual pages rendered by man without a warning.
# Usage: installed-tree.sh BUILD-DIR EXPECTED-FILES
set -euo pipefail
build=$1 expected=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

if ! diff -u "$expected" <(cd "$root" && find . -type f -o -type l | sed 's#^\./##' | LC_ALL=C sort); then
  echo "FAIL: the installed files differ from $expected (- expected, + installed)" >&2
  exit 1
fi
desktop-file-validate "$root/usr/share/applications/tallowmere.desktop"
appstreamcli validate-tree --no-net --no-color "$root"
for page in "$root"/usr/share/man/man1/*.gz; do
  warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || { echo "FAIL: man warns about ${page##*/}:" >&2; echo "$warnings" >&2; exit 1; }
done
echo "$(wc -l <"$expected") files installed as expected"
