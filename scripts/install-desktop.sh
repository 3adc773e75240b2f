#!/usr/bin/env bash
# Puts Vestrel on the desktop of the current user: a launcher in the applications menu that opens
# the session editor, an autostart entry that starts it into the tray at log-in, and the icon.
# Builds the program first when build/vestrel is missing. Usage: install-desktop.sh [program]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
exe="${1:-$root/build/vestrel}"
if [ ! -x "$exe" ] && [ $# -eq 0 ]; then
    "$root/scripts/deps.sh"
    cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$root/build" --target vestrel
fi
[ -x "$exe" ] || { echo "install-desktop.sh: no program at $exe" >&2; exit 1; }
exe="$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")"

data="${XDG_DATA_HOME:-$HOME/.local/share}"
config="${XDG_CONFIG_HOME:-$HOME/.config}"
icon="$data/icons/hicolor/64x64/apps/vestrel.png"
mkdir -p "$data/applications" "$config/autostart" "$(dirname "$icon")"
"$exe" --write-icon "$icon"

# An Exec argument with anything but plain characters goes in double quotes, with " ` $ \
# escaped by a backslash; the file format then doubles every backslash, and % is written %%.
exec_arg() {
    local s="$1"
    if [[ "$s" =~ ^[A-Za-z0-9/._+=:,@-]+$ ]]; then
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

entry() { # file, Exec arguments after the program, extra lines
    cat >"$1" <<DESKTOP
[Desktop Entry]
Type=Application
Name=Vestrel
Comment=Backup scheduler: packs backup sessions into zip archives when they come due
Exec=$(exec_arg "$exe")$2
Icon=$icon
Terminal=false
Categories=Utility;Archiving;
$3
DESKTOP
}
entry "$data/applications/vestrel.desktop" " --open" "StartupNotify=false"
entry "$config/autostart/vestrel.desktop" "" "X-GNOME-Autostart-enabled=true"

command -v update-desktop-database >/dev/null && update-desktop-database -q "$data/applications" || true
echo "Vestrel is in the applications menu and starts at log-in ($exe)."
