#!/usr/bin/env bash
# Corvane's menu entry offers itself for folders ("Open with Corvane") but
# must never become the program that opens them: in each setup below,
# `xdg-mime query default inode/directory` answers the same before and after
# the entry is installed, as the package installs it (into the system's
# applications folder, followed by the desktop database update that dpkg runs).
#
#   check-folder-handler.sh BUILD_DIR
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The entry as `cmake --install` writes it; installed for real, so that the
# program it starts exists, as xdg-mime checks.
cmake --install "$build" --prefix "$scratch/usr" >/dev/null
entry="$scratch/usr/share/applications/corvane.desktop"
[ -f "$entry" ] || { echo "FAIL: no desktop entry installed"; exit 1; }
grep -qx 'MimeType=inode/directory;' "$entry" || { echo "FAIL: the entry is not offered for folders"; exit 1; }
problems=$(desktop-file-validate "$entry" 2>&1)
[ -z "$problems" ] || { echo "FAIL: the entry does not validate: $problems"; exit 1; }
grep -q '^Exec=.* %f$' "$entry" || { echo "FAIL: the entry's Exec takes no folder (%f)"; exit 1; }

# A minimal file manager: an entry and a program on PATH that it starts.
mkdir -p "$scratch/bin"
export PATH="$scratch/bin:$PATH"
file_manager_entry() { # id
    printf '#!/bin/sh\nexit 0\n' >"$scratch/bin/$1"
    chmod +x "$scratch/bin/$1"
    printf '[Desktop Entry]\nType=Application\nName=Files\nExec=%s %%U\nMimeType=inode/directory;\n' "$1"
}

failures=0
# Each row: name | file manager's id | where it lives (home, system) | how the
# default is set (none, desktop, user) | build the desktop database (yes, no).
cases=(
    "desktop environment names its file manager|org.gnome.Nautilus|system|desktop|yes"
    "user chose the file manager|thunar|system|user|yes"
    "file manager installed in the home, no default set|pcmanfm|home|none|yes"
    "no default and no database: preference below a file manager's unstated one|caja-folder-handler|system|none|no"
)
for row in "${cases[@]}"; do
    IFS='|' read -r name fm where how database <<<"$row"
    root="$scratch/case"
    rm -rf "$root"
    mkdir -p "$root/home/.local/share/applications" "$root/home/.config" "$root/share/applications" "$root/etc"
    export HOME="$root/home" XDG_DATA_HOME="$root/home/.local/share" XDG_CONFIG_HOME="$root/home/.config"
    export XDG_DATA_DIRS="$root/share" XDG_CONFIG_DIRS="$root/etc"
    unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID XDG_MENU_PREFIX
    case $where in
        home) fm_dir="$root/home/.local/share/applications" ;;
        system) fm_dir="$root/share/applications" ;;
    esac
    file_manager_entry "$fm" >"$fm_dir/$fm.desktop"
    case $how in
        desktop)
            export XDG_CURRENT_DESKTOP=TestDesk
            printf '[Default Applications]\ninode/directory=%s.desktop\n' "$fm" \
                >"$root/share/applications/testdesk-mimeapps.list"
            ;;
        user)
            printf '[Default Applications]\ninode/directory=%s.desktop\n' "$fm" >"$root/home/.config/mimeapps.list"
            ;;
    esac
    update_database() {
        if [ "$database" = yes ]; then
            for dir in "$root/home/.local/share/applications" "$root/share/applications"; do
                update-desktop-database "$dir" 2>/dev/null
            done
        fi
    }
    # xdg-open asks xdg-mime on a session without a known desktop; file
    # managers and desktops ask GLib.
    default_handler() {
        local by_gio
        by_gio=$(gio mime inode/directory 2>/dev/null | sed -n 's/^Default application for .*: //p')
        echo "$(xdg-mime query default inode/directory) (GLib: ${by_gio:-none})"
    }
    update_database
    before=$(default_handler)
    cp "$entry" "$root/share/applications/corvane.desktop"
    update_database
    after=$(default_handler)
    if [ "${before%% *}" != "$fm.desktop" ]; then
        echo "FAIL [$name]: the file manager was not the default to begin with ('$before')"
        failures=$((failures + 1))
    elif [ "$after" != "$before" ]; then
        echo "FAIL [$name]: folders open with '$after' after Corvane's entry is installed, not '$before'"
        failures=$((failures + 1))
    else
        echo "ok   [$name]: $after"
    fi
done
[ "$failures" -eq 0 ]
