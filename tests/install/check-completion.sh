#!/usr/bin/env bash
# corvane-find's bash completion: it loads without a word on standard error,
# offers every option `corvane-find --help` lists, the report formats after
# --format, and folders (never files) elsewhere.
#
#   check-completion.sh SCRIPT CORVANE_FIND
set -uo pipefail
script=$1
program=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/Pictures" "$scratch/Photos old" "$scratch/-dashed"
touch "$scratch/Picture.png"
cd "$scratch"

failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

loaded=$(bash --norc --noprofile -c "set -u; source '$script' && complete -p corvane-find" 2>&1)
[ "$loaded" = "complete -F _corvane_find corvane-find" ] || fail "[loads cleanly]: '$loaded'"

# Runs the completion function on the given words, the last being completed,
# and prints what it offers, sorted, one a line.
offers() {
    bash --norc --noprofile -c '
        source "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
        _corvane_find corvane-find "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$script" "$@" 2>&1
}

# Every option of --help (the first column of its option lines).
help_options=$("$program" --help | grep -oE '^  (-[a-zA-Z], )?--[a-z][a-z-]*' | grep -oE -- '--?[a-z][a-z-]*' | sort -u)
[ -n "$help_options" ] || fail "[help lists options]: none found"
offered=$(offers corvane-find -)
for option in $help_options; do
    grep -qE -- "^$option=?\$" <<<"$offered" || fail "[offers $option]: not among: $(echo $offered)"
done

# name | words after corvane-find (| separated is not possible, so ';') | expected offers (space separated)
cases=(
    "a prefix completes to one option;--rec;--recursive"
    "--format as its own word offers the formats;--format ;csv json text"
    "--format split at '=' offers the formats;--format = ;csv json text"
    "--format= in one word offers the formats with it;--format=j;--format=json"
    "a word offers folders, not files;Pict;Pictures"
    "a folder name with a blank;Photos;Photos old"
    "after -- a dash starts a folder name;-- -;-dashed"
    "--protect as its own word offers folders;--protect Pict;Pictures"
    "--protect= in one word offers folders with it;--protect=Pict;--protect=Pictures"
)
for row in "${cases[@]}"; do
    IFS=';' read -r name words expected <<<"$row"
    read -r -a argv <<<"$words"
    # A trailing blank in the row means an empty word is being completed.
    [[ $words == *' ' ]] && argv+=("")
    got=$(offers corvane-find "${argv[@]}" | tr '\n' ' ' | sed 's/ $//')
    [ "$got" = "$expected" ] || fail "[$name]: offered '$got', expected '$expected'"
done

[ "$failures" -eq 0 ] && echo "completion ok"
[ "$failures" -eq 0 ]
