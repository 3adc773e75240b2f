#!/usr/bin/env bash
# Puts Vestrel on the desktop of the current user: a launcher in the applications menu that opens
# the session editor, and the icon. Starting at log-in is the program's own option. Builds the
# program first when build/vestrel is missing.
# --uninstall takes the launcher and the icon away again, and an autostart entry that starts this
# program; the sessions, options and archives stay.
# Usage: install-desktop.sh [--uninstall] [program]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
uninstall=false
if [ "${1:-}" = --uninstall ]; then
    uninstall=true
    shift
fi
exe="${1:-$root/build/vestrel}"
data="${XDG_DATA_HOME:-$HOME/.local/share}"
config="${XDG_CONFIG_HOME:-$HOME/.config}"
icon="$data/icons/hicolor/64x64/apps/vestrel.png"
if [ ! -x "$exe" ] && [ $# -eq 0 ] && ! $uninstall; then
    "$root/scripts/deps.sh"
    cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$root/build" --target vestrel
fi
$uninstall || [ -x "$exe" ] || { echo "install-desktop.sh: no program at $exe" >&2; exit 1; }
exe="$(cd "$(dirname "$exe")" 2>/dev/null && pwd || dirname "$exe")/$(basename "$exe")"

# As the options dialog writes the autostart entry, so --uninstall knows its own: an Exec
# argument with anything but plain characters goes in double quotes, with " ` $ \
# escaped by a backslash; the file format then doubles every backslash, and % is written %%.
exec_arg() {
    local s="$1"
    if [[ "$s" =~ ^[A-Za-z0-9/._+-]+$ ]]; then
        printf '%s' "$s"
        return
    fi
    s="${s//\\/\\\\}"
    s="${s//\"/\\\"}"
    s="${s//\`/\\\`}"
    s="${s//\$/\\\$}"
    s="\"$s\""
    s="${s//\\/\\\\}"
    printf '%s' "${s//%/%%}"
}

refresh() {
    command -v update-desktop-database >/dev/null && update-desktop-database -q "$data/applications" || true
}

if $uninstall; then
    rm -f "$data/applications/vestrel.desktop" "$icon"
    autostart="$config/autostart/vestrel.desktop"
    if [ -f "$autostart" ] && grep -qxF "Exec=$(exec_arg "$exe")" "$autostart"; then
        rm -f "$autostart"
    fi
    refresh
    echo "Vestrel is off the desktop; its sessions, options and archives are kept."
    exit 0
fi

mkdir -p "$data/applications" "$(dirname "$icon")"
"$exe" --write-icon "$icon"
cat >"$data/applications/vestrel.desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Name=Vestrel
Comment=Backup scheduler: packs backup sessions into zip archives when they come due
Exec=$(exec_arg "$exe") --open
Icon=$icon
Terminal=false
Categories=Utility;Archiving;
StartupNotify=false
DESKTOP
refresh
echo "Vestrel is in the applications menu ($exe)."
