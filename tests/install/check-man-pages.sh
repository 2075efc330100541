#!/usr/bin/env bash
# The manual pages render without a warning, and their OPTIONS section holds
# exactly the options the program's --help lists: an option added to the
# program and not to its page (or one left in the page after it went) fails.
#
#   check-man-pages.sh MAN_FOLDER BIN_FOLDER
set -uo pipefail
pages=$1
bin=$2
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

# name | page | program
cases=(
    "the command-line search|corvane-find.1|corvane-find"
    "the window|corvane.1|corvane"
)
for row in "${cases[@]}"; do
    IFS='|' read -r name page program <<<"$row"
    source_page="$pages/$page"
    warnings=$(MANWIDTH=80 man --warnings -l "$source_page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "[$name]: $page renders with warnings: $warnings"

    # --help needs no display for either program.
    help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/$program" --help) \
        || { fail "[$name]: $program --help failed"; continue; }
    help_options=$(grep -oE '^  (-[a-zA-Z], )?--?[a-zA-Z][a-zA-Z-]*' <<<"$help" | grep -oE -- '--?[a-zA-Z][a-zA-Z-]*' | sort -u)
    [ -n "$help_options" ] || fail "[$name]: no options found in $program --help"

    # The options the page describes: the tags of its OPTIONS section.
    rendered=$(MANWIDTH=200 man -l "$source_page" 2>/dev/null)
    section=$(awk '/^OPTIONS/ { on = 1; next } /^[A-Z]/ { on = 0 } on' <<<"$rendered")
    page_options=$(grep -E '^       -' <<<"$section" | grep -oE -- '(^|[ ,])--?[a-zA-Z][a-zA-Z-]*' | grep -oE -- '--?[a-zA-Z][a-zA-Z-]*' | sort -u)
    for option in $help_options; do
        grep -qx -- "$option" <<<"$page_options" || fail "[$name]: $option is in --help but not in $page"
    done
    for option in $page_options; do
        grep -qx -- "$option" <<<"$help_options" || fail "[$name]: $page describes $option, which --help does not list"
    done
    for heading in "EXIT STATUS" FILES EXAMPLES; do
        grep -qx "$heading" <<<"$rendered" || fail "[$name]: $page has no $heading section"
    done
done
[ "$failures" -eq 0 ] && echo "manual pages ok"
[ "$failures" -eq 0 ]
