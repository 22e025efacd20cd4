#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The manual pages against the programs: every flag --help prints is an
# option of tallowmere-cli(1) and every flag the page names is one --help
# prints; both pages carry the version --version prints; every TALLOWMERE_*
# variable the sources read is in the pages' ENVIRONMENT; no markup is left
# unrendered.
# Usage: man-help.sh TALLOWMERE-CLI MAN-DIR SOURCE-DIR
set -euo pipefail
cli=$1 man_dir=$2 source_dir=$3
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Flags as words: "-l", "--valid-bits"; not the "-" inside "Ctrl-C" or "time-out".
flags_in() {
  grep -oE '(^|[[:space:],[(])--?[[:alpha:]][[:alnum:]-]*' | sed -E 's/^[[:space:],[(]//' | sort -u
}
# The roff text without font changes and escapes, macro lines left out.
roff_text() {
  grep -v '^\.' "$1" | sed -e 's/\\f[BIRP]//g' -e 's/\\&//g' -e 's/\\-/-/g' -e 's/\\(aq/'"'"'/g'
}
# The section of a page from its .SH line to the next.
roff_section() {
  awk -v name="$2" '/^\.SH / { on = ($0 == ".SH " name || $0 == ".SH \"" name "\"") ; next } on' "$1"
}

page=$man_dir/tallowmere-cli.1
[[ -s $page ]] || { echo "FAIL: $page is missing" >&2; exit 1; }
help=$("$cli" --help) || fail "--help exited with $?"
help_flags=$(flags_in <<<"$help")
[[ -n $help_flags ]] || fail "--help names no flags"
# An option entry is a paragraph that starts with the flags in bold.
option_flags=$(roff_section "$page" OPTIONS | grep '^\\fB-' | roff_text /dev/stdin | flags_in)
page_flags=$(roff_text "$page" | flags_in)

while read -r flag; do
  grep -qxF -- "$flag" <<<"$option_flags" || fail "$flag is in --help but has no entry under OPTIONS in tallowmere-cli(1)"
done <<<"$help_flags"
while read -r flag; do
  grep -qxF -- "$flag" <<<"$help_flags" || fail "tallowmere-cli(1) names $flag, which --help does not print"
done <<<"$page_flags"

# The version: one from the build, printed by the program and in both footers.
version_line=$("$cli" --version)
[[ $version_line =~ ^tallowmere-cli\ ([0-9][0-9A-Za-z.+~-]*)$ ]] || fail "--version printed '$version_line'"
version=${BASH_REMATCH[1]:-none}
for name in tallowmere-cli.1 tallowmere.1 tallowmere-measure.1; do
  th=$(grep -m1 '^\.TH ' "$man_dir/$name" || true)
  [[ $th == *"\"Tallowmere $version\""* ]] || fail "$name: the footer '$th' does not carry version $version"
done

# Every TALLOWMERE_* variable the programs read.
mapfile -t variables < <(grep -rhoE 'getenv\("TALLOWMERE_[A-Z0-9_]+"\)' "$source_dir/src" | grep -oE 'TALLOWMERE_[A-Z0-9_]+' | sort -u)
((${#variables[@]} > 0)) || fail "no getenv(\"TALLOWMERE_...\") found under $source_dir/src"
for name in tallowmere-cli.1 tallowmere.1 tallowmere-measure.1; do
  environment=$(roff_section "$man_dir/$name" ENVIRONMENT | roff_text /dev/stdin)
  for variable in "${variables[@]}"; do
    grep -qw -- "$variable" <<<"$environment" || fail "$name: $variable is read by the program but not in ENVIRONMENT"
  done
done

# scdoc markup that did not render (it opens no underline after "+"), left
# in the text as underscores or asterisks around a word.
for name in tallowmere-cli.1 tallowmere.1 tallowmere-measure.1; do
  leftovers=$(roff_text "$man_dir/$name" |
    grep -nE '(^|[^[:alnum:]_])_[[:alpha:]][[:alnum:]_.-]*_([^[:alnum:]_]|$)|(^|[[:space:]])\*[[:alpha:]][^*]*\*' || true)
  [[ -z $leftovers ]] || fail "$name: scdoc markup left in the text: $leftovers"
done

if ((failures > 0)); then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "$(wc -l <<<"$help_flags") flags, version $version and ${#variables[@]} variables agree"
