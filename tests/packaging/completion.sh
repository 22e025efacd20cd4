#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The bash completion, sourced into a plain bash and asked as bash asks it,
# against a real tallowmere-cli on the virtual devices; with "framework",
# under bash-completion's own helpers, as most users' shells have them.
# Usage: completion.sh COMPLETION-SCRIPT TALLOWMERE-CLI [framework]
set -euo pipefail
script=$(realpath "$1")
cli=$(realpath "$2")
framework=/usr/share/bash-completion/bash_completion
if [[ ${3:-} == framework ]]; then
  [[ -r $framework ]] || { echo "SKIP: $framework is not installed"; exit 77; }
  # shellcheck source=/dev/null
  source "$framework"
  declare -F _init_completion >/dev/null || { echo "FAIL: $framework defines no _init_completion" >&2; exit 1; }
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/files/takes"
ln -s "$cli" "$work/bin/tallowmere-cli"
touch "$work/files/one.wav" "$work/files/TWO.WAV" "$work/files/notes.txt"
export PATH="$work/bin:$PATH" TALLOWMERE_AUDIO=virtual LC_ALL=C

# shellcheck source=/dev/null
source "$script"
complete -p tallowmere-cli >/dev/null || { echo "FAIL: no completion registered for tallowmere-cli" >&2; exit 1; }

# split_words LINE: COMP_WORDS as readline makes them: blanks split words
# unless escaped by a backslash, which stays in the word; "=" is a word.
split_words() {
  local line=$1 word= i c
  COMP_WORDS=()
  for ((i = 0; i < ${#line}; ++i)); do
    c=${line:i:1}
    if [[ $c == '\' ]]; then
      word+=${line:i:2}
      i=$((i + 1))
    elif [[ $c == ' ' ]]; then
      [[ -n $word ]] && COMP_WORDS+=("$word")
      word=
    elif [[ $c == '=' ]]; then
      [[ -n $word ]] && COMP_WORDS+=("$word")
      COMP_WORDS+=("=")
      word=
    else
      word+=$c
    fi
  done
  COMP_WORDS+=("$word")
}

# complete_line LINE: the candidates bash would offer at the end of LINE,
# sorted, one a line.
complete_line() {
  local line=$1
  COMP_LINE=$line
  COMP_POINT=${#line}
  split_words "$line"
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _tallowmere_cli tallowmere-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}" | sort
}

failures=0
check() {
  local name=$1 line=$2 expected=$3 actual
  actual=$(complete_line "$line")
  if [[ "$actual" != "$expected" ]]; then
    echo "FAIL: $name: '$line' offered:" >&2
    printf '%s\n' "${actual:-(nothing)}" | sed 's/^/    /' >&2
    echo "  expected:" >&2
    printf '%s\n' "${expected:-(nothing)}" | sed 's/^/    /' >&2
    failures=$((failures + 1))
  fi
}

help_flags=$(tallowmere-cli --help | grep -oE '(^|[[:space:],[])--?[[:alpha:]][[:alnum:]-]*' |
             sed -E 's/^[[:space:],[]//' | sort -u)
cd "$work/files"
check "every flag of --help"      "tallowmere-cli "                "$help_flags"
check "flags by prefix"           "tallowmere-cli --t"             $'--timeout\n--tone'
check "api modes"                 "tallowmere-cli --api "          $'extended\nstandard'
check "api mode joined with ="    "tallowmere-cli --api=ex"        "extended"
check "tone answers"              "tallowmere-cli --rate 48000 --tone " $'ask\nno\nyes'
check "input devices, quoted"     "tallowmere-cli --input "        $'Tallowmere\\ Virtual\\ Input\nTallowmere\\ Virtual\\ Loopback\\ In'
check "input by any-case prefix"  "tallowmere-cli --input tallowmere\\ virtual\\ l" 'Tallowmere\ Virtual\ Loopback\ In'
check "output devices only"       "tallowmere-cli --output "       $'Tallowmere\\ Virtual\\ Loopback\\ Out\nTallowmere\\ Virtual\\ Output'
check "no device of that prefix"  "tallowmere-cli --output USB"    ""
check "wave files and folders"    "tallowmere-cli --save "         $'TWO.WAV\none.wav\ntakes'
check "numbers are not guessed"   "tallowmere-cli --rate "         ""
check "measures"                  "tallowmere-cli --loopback --measure " $'all\ncrosstalk\nlatency\nnoise\nresponse\nthd'
check "measure after a comma"     "tallowmere-cli --measure thd,n" "thd,noise"
check "loopback limits not guessed" "tallowmere-cli --max-latency " ""
if ((failures > 0)); then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "completion offers what was expected"
