#!/usr/bin/env bash
# corvane's own command line: --help and --version answer without a display
# (no DISPLAY, no WAYLAND_DISPLAY, no platform chosen), and a wrong command
# line ends with status 2 and a message before any window opens.
#
#   check-window-command-line.sh CORVANE
set -uo pipefail
program=$1
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/one" "$scratch/two"

# name | environment (display, offscreen) | arguments | status | what stdout or stderr holds
cases=(
    "--help without a display|display|--help|0|^Usage: corvane \[FOLDER\]"
    "-h without a display|display|-h|0|^Usage: corvane \[FOLDER\]"
    "--version without a display|display|--version|0|^corvane [0-9]+\.[0-9]+$"
    "--help after a folder|display|$scratch/one --help|0|^Usage: corvane"
    "--help after -- is a folder, not help|offscreen|-- --help $scratch/one|2|one folder at most"
    "an unknown option|offscreen|--bogus|2|unknown option '--bogus'"
    "two folders|offscreen|$scratch/one $scratch/two|2|one folder at most"
)
for row in "${cases[@]}"; do
    IFS='|' read -r name environment arguments status pattern <<<"$row"
    read -r -a argv <<<"$arguments"
    if [ "$environment" = display ]; then
        output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$program" "${argv[@]}" 2>&1)
    else
        output=$(env QT_QPA_PLATFORM=offscreen HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" \
            CORVANE_SITE=http://127.0.0.1:9 timeout 20 "$program" "${argv[@]}" 2>&1)
    fi
    got=$?
    [ "$got" = "$status" ] || fail "[$name]: exit status $got, expected $status: $output"
    grep -qE -- "$pattern" <<<"$output" || fail "[$name]: output does not match '$pattern': $output"
done
[ "$failures" -eq 0 ] && echo "command line ok"
[ "$failures" -eq 0 ]
