#!/usr/bin/env bash
# Installs the build into a scratch root and checks the installed layout:
# corvane, its converter and corvane-find side by side, commands on PATH, a desktop entry
# that starts the installed program, and the icon it names.
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" cmake --install "$build" --prefix /opt/corvane-test >/dev/null
prefix="$root/opt/corvane-test"
fail() { echo "FAIL: $*"; exit 1; }
[ -x "$prefix/lib/corvane/corvane" ] || fail "corvane not installed in the program folder"
[ -x "$prefix/lib/corvane/i__view32.exe" ] || fail "i__view32.exe not beside corvane"
[ -f "$prefix/lib/corvane/i__view32-readers.so" ] || fail "the converter's reader module not beside it"
[ "$(readlink "$prefix/bin/corvane")" = "../lib/corvane/corvane" ] || fail "bin/corvane does not point at the program"
[ -x "$prefix/lib/corvane/corvane-find" ] || fail "corvane-find not beside corvane"
[ "$(readlink "$prefix/bin/corvane-find")" = "../lib/corvane/corvane-find" ] || fail "bin/corvane-find does not point at the program"
"$prefix/bin/corvane-find" --version | grep -q '^corvane-find ' || fail "installed corvane-find does not run"
entry="$prefix/share/applications/corvane.desktop"
[ -f "$entry" ] || fail "no desktop entry"
grep -qx 'Exec=/opt/corvane-test/lib/corvane/corvane %f' "$entry" || fail "desktop entry starts the wrong program"
grep -qx 'Icon=corvane' "$entry" || fail "desktop entry names no icon"
[ -f "$prefix/share/icons/hicolor/32x32/apps/corvane.png" ] || fail "icon missing"
[ -f "$prefix/share/man/man1/corvane.1.gz" ] || fail "corvane(1) missing"
[ -f "$prefix/share/man/man1/corvane-find.1.gz" ] || fail "corvane-find(1) missing"
[ -f "$prefix/share/bash-completion/completions/corvane-find" ] || fail "completion missing"
echo "installed layout ok"
