#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package, checks it with lintian, installs it with apt,
# uses what it installed as a user would (tallowmere-cli --version and a
# default run on the virtual devices, man -w, the bash completion, the
# desktop program under Xvfb up to its main dialog, the measurement window
# up to its window), then purges it and
# checks that none of its files is left. Needs root or sudo; CI runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/ui/qt/x11-driver.sh
started=$SECONDS

if [[ $(id -u) -eq 0 ]]; then
  sudo=()
else
  sudo=(sudo)
fi
apt_get() { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -q "$@"; }
step() { echo "package-test: $* ($((SECONDS - started)) s)"; }

if dpkg-query -W -f='${Status}' tallowmere 2>/dev/null | grep -q ' installed$'; then
  fail "a tallowmere package is installed already; remove it first, this test purges it"
fi

make package
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package/CMakeCache.txt)
deb=tallowmere_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || fail "make package did not make $deb"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "$deb has version $(dpkg-deb -f "$deb" Version)"
step "built $deb"

# Errors fail; warnings and notes are shown for the record.
lintian_status=0
lintian --fail-on error --display-info "$deb" >"$deb.lintian" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$deb.lintian" || true
rm -f "$deb.lintian"
((lintian_status == 0)) || fail "lintian reports errors in $deb"
step "lintian found no errors"

work=$(mktemp -d)
installed=0
cleanup() {
  [[ -n ${desktop_pid:-} ]] && kill "$desktop_pid" 2>/dev/null || true
  ((installed)) && apt_get purge tallowmere >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
apt_get install "./$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install ./$deb failed"; }
installed=1
dpkg-query -L tallowmere >"$work/paths"
while read -r path; do
  [[ -f $path || -L $path ]] && echo "$path"
done <"$work/paths" >"$work/files"
# Every file of the package is in place (a dpkg path-exclude would drop some).
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's#^\.##' | sort >"$work/shipped"
if ! diff -u "$work/shipped" <(sort "$work/files"); then
  fail "the installed files differ from the package's (- shipped, + installed); see /etc/dpkg/dpkg.cfg.d"
fi
step "installed $(wc -l <"$work/files") files"

# The programs from /usr, as a user's shell finds them.
export PATH=/usr/bin:/bin TALLOWMERE_AUDIO=virtual
[[ $(command -v tallowmere-cli) == /usr/bin/tallowmere-cli ]] || fail "tallowmere-cli is not /usr/bin's"
[[ $(tallowmere-cli --version) == "tallowmere-cli $version" ]] || fail "--version printed '$(tallowmere-cli --version)'"
(cd "$work" && tallowmere-cli --tone no --save take.wav >report.txt 2>status.txt) ||
  { cat "$work/status.txt"; fail "a default run of the installed tallowmere-cli exited with $?"; }
grep -q 'Tallowmere Virtual Input' "$work/report.txt" || fail "the report names no virtual input"
[[ $(soxi -r "$work/take.wav") == 44100 && $(soxi -c "$work/take.wav") == 1 ]] || fail "take.wav is not 44100 Hz mono"
step "--version and a default run passed"

[[ $(man -w tallowmere-cli) == /usr/share/man/man1/tallowmere-cli.1.gz ]] || fail "man -w tallowmere-cli: $(man -w tallowmere-cli)"
[[ $(man -w tallowmere) == /usr/share/man/man1/tallowmere.1.gz ]] || fail "man -w tallowmere: $(man -w tallowmere)"
[[ $(man -w tallowmere-measure) == /usr/share/man/man1/tallowmere-measure.1.gz ]] ||
  fail "man -w tallowmere-measure: $(man -w tallowmere-measure)"
MANWIDTH=80 man tallowmere-cli 2>/dev/null | grep -q 'EXIT STATUS' || fail "man tallowmere-cli shows no EXIT STATUS"
for page in tallowmere-cli tallowmere tallowmere-measure; do
  zcat "/usr/share/man/man1/$page.1.gz" | grep -q "^\.TH .*\"Tallowmere $version\"" || fail "$page(1) does not carry version $version"
done
grep -q "<release version=\"$version\"" /usr/share/metainfo/io.github.tallowmere.Tallowmere.metainfo.xml ||
  fail "the metainfo has no release $version"

completion=$(bash --norc --noprofile -c '
  source /usr/share/bash-completion/completions/tallowmere-cli
  COMP_WORDS=(tallowmere-cli --input ""); COMP_CWORD=2; _tallowmere_cli
  printf "%s|" "${COMPREPLY[@]}"
  COMP_WORDS=(tallowmere-cli --api ""); COMP_CWORD=2; _tallowmere_cli
  printf "%s|" "${COMPREPLY[@]}"')
[[ $completion == 'Tallowmere\ Virtual\ Input|Tallowmere\ Virtual\ Loopback\ In|standard|extended|' ]] || fail "the completion offered '$completion'"
step "man -w and the bash completion passed"

# The desktop program up to its main dialog, then closed with Esc.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  source tests/ui/qt/x11-driver.sh
  export QT_QPA_PLATFORM=xcb
  tallowmere & pid=$!
  main=$(wait_window "Brellick - Tallowmere" 120)
  echo "package-test: the installed desktop program shows its main dialog"
  keys "$main" Escape
  wait "$pid" || fail "tallowmere exited with $? after Esc"
' || fail "the installed desktop program did not show its main dialog and close"
step "the desktop program ran"

# The measurement window up to its window, then ended with Ctrl+Q, with a
# home of its own for the settings it keeps.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -euo pipefail
  source tests/ui/qt/x11-driver.sh
  export QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=$(mktemp -d)
  trap "rm -rf \"\$XDG_CONFIG_HOME\"" EXIT
  tallowmere-measure & pid=$!
  main=$(wait_window "Tallowmere Measurements" 120)
  echo "package-test: the installed measurement window shows"
  keys "$main" ctrl+q
  wait "$pid" || fail "tallowmere-measure exited with $? after Ctrl+Q"
' || fail "the installed measurement window did not show and close"
step "the measurement window ran"

apt_get purge tallowmere >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get purge tallowmere failed"; }
installed=0
left=0
while read -r path; do
  if [[ -e $path || -L $path ]]; then
    echo "left behind: $path" >&2
    left=$((left + 1))
  fi
done <"$work/files"
[[ ! -e /usr/share/doc/tallowmere ]] || { echo "left behind: /usr/share/doc/tallowmere" >&2; left=$((left + 1)); }
dpkg-query -W -f='${Status}' tallowmere 2>/dev/null | grep -q 'not-installed' ||
  [[ -z $(dpkg-query -W -f='${Status}' tallowmere 2>/dev/null) ]] || fail "dpkg still knows tallowmere after the purge"
((left == 0)) || fail "$left paths of the package are left after the purge"
step "purged; none of its $(wc -l <"$work/files") files is left"
echo "package-test: passed in $((SECONDS - started)) s"
