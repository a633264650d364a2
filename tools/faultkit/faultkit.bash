# bash completion for faultkit. tests/cli/docs_match_help.py checks the
# command and option lists below against the tool's help text; the encoding
# names come from the tool itself.
_faultkit() {
    local cur prev command options
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="demo inspect convert export-sample help"

    if [[ $COMP_CWORD -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi
    command=${COMP_WORDS[1]}
    case $command in
        demo) options="--help -h" ;;
        inspect) options="--json --import --help -h" ;;
        convert) options="--from -f --to -t -c --strict --replacement --output -o --list -l --help -h" ;;
        export-sample) options="--help -h" ;;
        help)
            [[ $COMP_CWORD -eq 2 ]] && COMPREPLY=($(compgen -W "$commands" -- "$cur"))
            return
            ;;
        *) return ;;
    esac
    # An encoding after -f, --from, -t or --to, also as --from=ENC, which
    # bash splits into "--from" "=" "ENC" (or keeps whole when '=' is not a
    # word break).
    local option=$prev prefix=
    if [[ $cur == "=" ]]; then
        cur=
    elif [[ $prev == "=" ]]; then
        option=${COMP_WORDS[COMP_CWORD - 2]}
    elif [[ $cur == --*=* ]]; then
        option=${cur%%=*} prefix=${cur%%=*}= cur=${cur#*=}
    fi
    if [[ $command == convert && $option == @(-f|--from|-t|--to) ]]; then
        local encodings
        encodings=$("${COMP_WORDS[0]}" convert --list 2>/dev/null)
        COMPREPLY=($(compgen -P "$prefix" -W "$encodings" -- "$cur"))
        return
    fi
    if [[ $command == convert && $prev == --replacement ]]; then
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -o filenames -F _faultkit faultkit
