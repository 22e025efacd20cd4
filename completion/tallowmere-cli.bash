# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for tallowmere-cli: its flags, the values of --api,
# --level, --measure, --soak-mode and --tone, the device names that --list shows, and .wav files
# for --save.

# The device names of one direction ("input" or "output") from --list, one
# a line. The listing is "  N: NAME (input, ...)"; the name ends before the
# last " (input, " or " (output, ".
_tallowmere_cli_devices()
{
    local direction=$1 program=$2 line name
    while IFS= read -r line; do
        [[ $line =~ ^\ +[0-9]+:\ (.*)\ \((input|output),\ [^\(]*\)$ ]] || continue
        [[ ${BASH_REMATCH[2]} == "$direction" ]] || continue
        name=${BASH_REMATCH[1]}
        printf '%s\n' "$name"
    done < <("$program" --list 2>/dev/null)
}

# The flags that --help names, so the completion never lags behind them.
_tallowmere_cli_flags()
{
    "$1" --help 2>/dev/null | grep -oE '(^|[[:space:],[])--?[[:alpha:]][[:alnum:]-]*' |
        sed -E 's/^[[:space:],[]//' | sort -u
}

_tallowmere_cli()
{
    local cur prev words cword split=false
    if declare -F _init_completion >/dev/null 2>&1; then
        _init_completion -s || return
    else
        # Without bash-completion, "=" is a word of its own: --api=st is
        # the words "--api", "=" and "st".
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        if [[ $cur == = ]]; then
            cur=
            split=true
        elif [[ $prev == = ]] && ((COMP_CWORD >= 2)); then
            prev=${COMP_WORDS[COMP_CWORD - 2]}
            split=true
        fi
    fi

    local program=${COMP_WORDS[0]}
    case $prev in
        --api)
            mapfile -t COMPREPLY < <(compgen -W 'standard extended' -- "$cur")
            return ;;
        --tone)
            mapfile -t COMPREPLY < <(compgen -W 'yes no ask' -- "$cur")
            return ;;
        --level)
            mapfile -t COMPREPLY < <(compgen -W 'accepts delivers transparent' -- "$cur")
            return ;;
        --soak-mode)
            mapfile -t COMPREPLY < <(compgen -W 'full-duplex record play' -- "$cur")
            return ;;
        --log)
            local IFS=$'\n'
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        --input|--output)
            # Names are matched ignoring case, as the program selects them.
            local name quoted typed=${cur//\\/}
            typed=${typed#[\"\']}
            COMPREPLY=()
            while IFS= read -r name; do
                [[ ${name,,} == "${typed,,}"* ]] || continue
                printf -v quoted '%q' "$name"
                COMPREPLY+=("$quoted")
            done < <(_tallowmere_cli_devices "${prev#--}" "$program")
            return ;;
        --save|--analyze-file)
            local IFS=$'\n'
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X '!*.[wW][aA][vV]' -- "$cur"))
            return ;;
        --plot)
            local IFS=$'\n'
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        --measure)
            # A comma list: complete the name after the last comma.
            local done=${cur%,*} last=${cur##*,}
            [[ $cur == *,* ]] && done+=, || done=
            mapfile -t COMPREPLY < <(compgen -P "$done" -W 'all latency response thd noise crosstalk' -- "$last")
            compopt -o nospace 2>/dev/null
            return ;;
        --channels|--rate|--bits|--valid-bits|--duration|--timeout|--expect-frequency|--frequency-tolerance|\
        --min-snr|--max-thdn|--max-clipped|--expect-valid-bits|--max-dropouts|--min-level|--max-latency|\
        --max-response-deviation|--min-dynamic-range|--max-noise-floor|--max-crosstalk|--expect-formats|\
        --soak|--max-xruns|--max-glitches|--max-drift-ppm|--max-latency-wander)
            COMPREPLY=()
            return ;;
    esac
    $split && return

    if [[ $cur == -* || -z $cur ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_tallowmere_cli_flags "$program")" -- "$cur")
    fi
}
complete -F _tallowmere_cli tallowmere-cli
