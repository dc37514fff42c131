#!/usr/bin/env bash
# The shell completion of lumaret-cli, driven as bash drives it: the
# completion function is called with COMP_WORDS and COMP_CWORD set, and what
# it leaves in COMPREPLY is checked. Two simulated modules give the port
# list its names. With a zsh at hand, the zsh completion is syntax-checked
# and tried by typing into an interactive zsh on a pseudo-terminal.
#   completion_test.sh BASH_SCRIPT ZSH_SCRIPT LUMARET_CLI LUMARET_SIM
set -u
script=$1 zsh_script=$2 cli=$3 sim=$4
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

runtime=$(mktemp -d /tmp/lumaret-completion-XXXXXX)
export XDG_RUNTIME_DIR=$runtime
sims=()
cleanup() {
    [ ${#sims[@]} -gt 0 ] && kill "${sims[@]}" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$runtime"
}
trap cleanup EXIT

# shellcheck source=/dev/null
source "$script" || fail "the script does not source"
complete -p lumaret-cli >/dev/null 2>&1 || fail "no completion registered for lumaret-cli"

# Completes the words given, the last being the one under the cursor.
complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _lumaret_cli
}

# Fails unless COMPREPLY holds every word given.
offers() {
    local what=$1 word got
    shift
    for word in "$@"; do
        got=0
        for reply in "${COMPREPLY[@]}"; do
            [ "$reply" = "$word" ] && got=1
        done
        [ $got = 1 ] || fail "$what: '$word' not offered (offered: ${COMPREPLY[*]})"
    done
}

complete_words lumaret-cli ""
offers "commands" ports version read send learn export import verify diff clone show help
complete_words lumaret-cli ex
[ "${COMPREPLY[*]}" = "export" ] || fail "'ex' completes to '${COMPREPLY[*]}', not export"
complete_words lumaret-cli --j
offers "options" --json
complete_words lumaret-cli -p COM3 read --s
offers "read's options" --slot
complete_words lumaret-cli -p COM3 clone --
offers "clone's options" --to --json
complete_words lumaret-cli help ver
offers "help's commands" version verify

# Files for a command that takes one.
touch "$runtime/codes.txt" "$runtime/other.txt"
complete_words lumaret-cli -p COM3 import "$runtime/co"
[ "${COMPREPLY[*]}" = "$runtime/codes.txt" ] || fail "file: offered '${COMPREPLY[*]}'"

# COM names from the port list, in any position of a comma list.
for port in COM4 COM12; do
    "$sim" --port "$port" >/dev/null &
    sims+=($!)
done
for _ in $(seq 50); do
    [ -L "$runtime/lumaret/ports/COM4" ] && [ -L "$runtime/lumaret/ports/COM12" ] && break
    sleep 0.1
done
complete_words "$cli" -p ""
offers "-p" COM4 COM12 all
complete_words "$cli" --port COM1
offers "--port COM1" COM12
complete_words "$cli" -p COM4 clone --to COM4,C
offers "--to after a comma" COM4,COM4 COM4,COM12
complete_words "$cli" -p a
[ "${COMPREPLY[*]}" = "all" ] || fail "'-p a' completes to '${COMPREPLY[*]}', not all"

# Types into an interactive zsh with the completion loaded, on a
# pseudo-terminal: the arguments come in pairs, a line typed up to its tabs
# and a pattern the shell's echo is awaited for (up to 15 s: a busy machine
# makes compinit slow); prints what the shell echoed, escapes and all.
zsh_typing() {
    mkdir -p "$runtime/fpath"
    cp "$zsh_script" "$runtime/fpath/_lumaret-cli"
    ZC_FPATH=$runtime/fpath ZC_PATH=$(dirname "$cli") timeout 50 zsh -f -c '
        zmodload zsh/zpty
        zpty z zsh -f -i
        zpty -w z "fpath=($ZC_FPATH \$fpath) PATH=$ZC_PATH:\$PATH; autoload -U compinit"
        zpty -w z "compinit -u -D"
        while (( $# >= 2 )); do
            zpty -w -n z $'\x15'"$1" # Ctrl+U empties the line first
            seen=
            for _ in {1..150}; do
                while zpty -r -t z chunk; do seen+=$chunk; done
                [[ $seen == *$~2* ]] && break
                sleep 0.1
            done
            print -rn -- "$seen"
            shift 2
        done
        zpty -d z' zsh_typing "$@"
}

if command -v zsh >/dev/null; then
    zsh -n "$zsh_script" || fail "zsh finds a syntax error in $zsh_script"
    typed=$(zsh_typing $'lumaret-cli ex\t' '*lumaret-cli export*' \
                          $'lumaret-cli -p \t\t' '*COM12*')
    [[ $typed == *"lumaret-cli export"* ]] || fail "zsh: 'ex' did not become export: $typed"
    [[ $typed == *COM12* && $typed == *all* ]] || fail "zsh: no ports after -p: $typed"
else
    echo "zsh is not installed: the zsh completion is not checked"
fi

[ $failures -eq 0 ] && echo "completion: all checks passed"
[ $failures -eq 0 ]
