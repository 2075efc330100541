#!/usr/bin/env bash
# The Debian package, made by CPack from this build (nothing is compiled
# again): its contents and dependencies as dpkg-deb reads them, then the
# package unpacked into a scratch root and its programs run from there.
#
#   check-package.sh BUILD_DIR
set -uo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 \
    || { cat "$scratch/cpack.log"; echo "FAIL: cpack"; exit 1; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb="$scratch/out/corvane_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { ls "$scratch/out"; echo "FAIL: no $deb"; exit 1; }

# Contents: path | what it must be (file, exec, link:TARGET).
contents=$(dpkg-deb -c "$deb")
expected=(
    "./usr/lib/corvane/corvane|exec"
    "./usr/lib/corvane/corvane-find|exec"
    "./usr/lib/corvane/i__view32.exe|exec"
    "./usr/lib/corvane/i__view32-readers.so|file"
    "./usr/bin/corvane|link:../lib/corvane/corvane"
    "./usr/bin/corvane-find|link:../lib/corvane/corvane-find"
    "./usr/share/applications/corvane.desktop|file"
    "./usr/share/icons/hicolor/32x32/apps/corvane.png|file"
    "./usr/share/icons/hicolor/48x48/apps/corvane.png|file"
    "./usr/share/icons/hicolor/64x64/apps/corvane.png|file"
    "./usr/share/icons/hicolor/128x128/apps/corvane.png|file"
    "./usr/share/icons/hicolor/256x256/apps/corvane.png|file"
    "./usr/share/icons/hicolor/scalable/apps/corvane.svg|file"
    "./usr/share/doc/corvane/copyright|file"
    "./usr/share/doc/corvane/changelog.gz|file"
    "./usr/share/man/man1/corvane.1.gz|file"
    "./usr/share/man/man1/corvane-find.1.gz|file"
    "./usr/share/bash-completion/completions/corvane-find|file"
)
for row in "${expected[@]}"; do
    IFS='|' read -r path kind <<<"$row"
    line=$(awk -v p="$path" '$6 == p' <<<"$contents")
    case $kind in
        exec) [[ $line == -rwxr-xr-x\ root/root* ]] || fail "[$path]: not an executable owned by root: '$line'" ;;
        file) [[ $line == -rw-r--r--\ root/root* ]] || fail "[$path]: not a plain file owned by root: '$line'" ;;
        link:*) [[ $line == l*" $path -> ${kind#link:}" ]] || fail "[$path]: not a link to ${kind#link:}: '$line'" ;;
    esac
done
stray=$(awk '{ print $6 }' <<<"$contents" | grep -vE '^\./usr/((bin|lib|share|share/doc)/)?$|^\./usr/(bin|lib/corvane|share/(applications|icons|man|bash-completion|doc/corvane))/')
[ -z "$stray" ] || fail "[nothing outside its folders]: $stray"

# Depends: computed by dpkg-shlibdeps from the programs, so it names the
# libraries they link, each with a version.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libglib2.0-0 \
    libsqlite3-0 libssl3 libpng16-16 libtiff6 libopenjp2-7 libheif1 libwebp7; do
    grep -qE "(^|, )$library( \(>= [^)]+\))?(,|$)" <<<"$depends" || fail "[Depends names $library]: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = corvane ] || fail "[package name]"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "[version]"

# Unpacked into a scratch root: the programs run from their installed paths.
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
unresolved=$(for program in corvane corvane-find i__view32.exe i__view32-readers.so; do
    ldd "$root/usr/lib/corvane/$program" | grep 'not found'; done)
[ -z "$unresolved" ] || fail "[libraries resolve]: $unresolved"
noscreen=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
[ "$("${noscreen[@]}" "$root/usr/bin/corvane-find" --version)" = "corvane-find $version" ] \
    || fail "[installed corvane-find --version]"
[ "$("${noscreen[@]}" "$root/usr/bin/corvane" --version)" = "corvane $version" ] \
    || fail "[installed corvane --version, no display]"
grep -qx "Exec=/usr/lib/corvane/corvane %f" "$root/usr/share/applications/corvane.desktop" \
    || fail "[menu entry starts the installed program]"
for page in corvane corvane-find; do
    warnings=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "[installed $page(1) renders]: $warnings"
done
bash --norc -c "source '$root/usr/share/bash-completion/completions/corvane-find'" 2>&1 | grep . \
    && fail "[installed completion loads]"

# Each icon is a picture of the size its folder names; the scalable one is SVG.
for size in 32 48 64 128 256; do
    icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/corvane.png"
    [ "$(identify -format '%wx%h' "$icon" 2>/dev/null)" = "${size}x${size}" ] \
        || fail "[icon ${size}x${size}]: $(identify "$icon" 2>&1)"
done
grep -q '<svg' "$root/usr/share/icons/hicolor/scalable/apps/corvane.svg" || fail "[scalable icon is SVG]"

# The documents: the copyright file in the machine-readable form, every
# stanza's fields present, and a changelog that names this version.
copyright="$root/usr/share/doc/corvane/copyright"
head -n1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    || fail "[copyright is machine-readable]"
grep -q '^Files: \*$' "$copyright" && grep -q '^Copyright: ' "$copyright" && grep -q '^License: ' "$copyright" \
    || fail "[copyright has Files, Copyright and License]"
zcat "$root/usr/share/doc/corvane/changelog.gz" | grep -q "^$version " || fail "[changelog names $version]"

# Every place that tells what Corvane does names both searches and the third box.
third_box="Also find the same photo saved differently"
grep -q "same photo" <<<"$(dpkg-deb -f "$deb" Description)" || fail "[description names the same-photo search]"
grep -qi '^Comment=.*same photo' "$root/usr/share/applications/corvane.desktop" || fail "[menu comment names the same-photo search]"
"${noscreen[@]}" "$root/usr/bin/corvane" --help | tr '\n' ' ' | grep -q "$third_box" || fail "[corvane --help names the third box]"
zcat "$root/usr/share/man/man1/corvane.1.gz" | grep -q "$third_box" || fail "[corvane(1) names the third box]"
zcat "$root/usr/share/man/man1/corvane-find.1.gz" | grep -q 'B \\-\\-similar' || fail "[corvane-find(1) names --similar]"

# A small search with the installed corvane-find: three files of one picture
# (a byte copy and a BMP of the same pixels) group; a picture one pixel
# away stays out.
pictures="$scratch/pictures"
mkdir -p "$pictures"
convert -size 16x12 gradient:red-blue -depth 8 -type TrueColor "$pictures/a.png"
cp "$pictures/a.png" "$pictures/a copy.png"
convert "$pictures/a.png" -type TrueColor "BMP3:$pictures/a.bmp"
convert "$pictures/a.png" -fill white -draw 'point 3,3' "$pictures/near.png"
report=$(XDG_CACHE_HOME="$scratch/cache" "${noscreen[@]}" "$root/usr/bin/corvane-find" "$pictures")
expected_report=$(printf '%s\n' "$pictures/a copy.png" "$pictures/a.bmp" "$pictures/a.png")
[ "$(sort <<<"$report" | grep .)" = "$expected_report" ] || fail "[installed search]: got '$report'"
[ -f "$scratch/cache/Corvane/fingerprints.sqlite" ] || fail "[installed search keeps its cache]"

[ "$failures" -eq 0 ] && echo "package ok: $(basename "$deb")"
[ "$failures" -eq 0 ]
