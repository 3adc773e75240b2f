#!/usr/bin/env bash
# Builds the Debian package from a build tree, reads it back as dpkg, lintian and the desktop do,
# unpacks it into a temporary root and lets the installed program, started by a user without a
# display, run a session that is due: the database and the archive must land in that user's
# folders. Usage: package_test.sh BUILD_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
work="$(mktemp -d)"
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; wait; rm -rf "$work"' EXIT
chmod 755 "$work"
fail() { echo "package test: $*" >&2; exit 1; }
wait_for() { # seconds, then a command that tells when the wait is over
    local end=$((SECONDS + $1)); shift
    until "$@" 2>/dev/null; do
        [ "$SECONDS" -lt "$end" ] || return 1
        [ -z "$pid" ] || kill -0 "$pid" 2>/dev/null || fail "the program ended: $(cat "$work/log")"
        sleep 0.2
    done
}

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null
version="$("$build/vestrel" --version | cut -d' ' -f2)"
deb="$work/out/vestrel_${version}_amd64.deb"

files="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for f in bin/vestrel share/applications/vestrel.desktop share/man/man1/vestrel.1.gz \
    share/doc/vestrel/{copyright,changelog.gz} share/icons/hicolor/scalable/apps/vestrel.svg \
    share/icons/hicolor/{16x16,22x22,24x24,32x32,48x48,64x64,128x128,256x256}/apps/vestrel.png; do
    grep -qx "./usr/$f" <<<"$files" || fail "the package lacks /usr/$f"
done
grep -q '^\./usr/share/metainfo/.*\.metainfo\.xml$' <<<"$files" || fail "no metainfo"
outside="$(grep -vx '\./\|\./usr/.*' <<<"$files" || true)"
[ -z "$outside" ] || fail "files outside /usr: $outside"
# Dependencies come from the binary (a Qt library it links), plus the plug-in Qt loads.
depends="$(dpkg-deb -f "$deb" Depends)"
grep -q 'libqt6widgets6 (' <<<"$depends" && grep -q 'libqt6sql6-sqlite' <<<"$depends" ||
    fail "dependencies: $depends"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not the program's"
# Removal must leave the user's data alone: the package runs no scripts of its own.
dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E '(inst|rm|config)$' && fail "maintainer scripts"

lintian --fail-on error,warning "$deb" 2> >(grep -v 'root privileges' >&2)
root="$work/root"
dpkg -x "$deb" "$root"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null
desktop-file-validate "$root/usr/share/applications/vestrel.desktop"
# Every option the program knows has its entry in the manual page.
manual="$(LC_ALL=C MANWIDTH=200 man -l "$root/usr/share/man/man1/vestrel.1.gz" 2>/dev/null)"
for option in $("$root/usr/bin/vestrel" --help | grep -o -- '--[a-z-]*' | sort -u); do
    grep -qE -- "^ *(-[a-z], )?$option\b" <<<"$manual" || fail "the manual page lacks $option"
done
# The hand-drawn scalable icon and the program's own drawing stay one picture.
rsvg-convert -w 256 -h 256 "$root/usr/share/icons/hicolor/scalable/apps/vestrel.svg" -o "$work/svg.png"
error="$(compare -metric RMSE "$work/svg.png" "$root/usr/share/icons/hicolor/256x256/apps/vestrel.png" \
         null: 2>&1 | sed 's/.*(\(.*\))/\1/' || true)"
awk -v e="$error" 'BEGIN { exit !(e < 0.02) }' || fail "the SVG icon differs from the drawn one ($error)"

# The installed program, as a user who is not root, with nothing but a temporary home.
user="$(id -un)" run_as=()
if [ "$(id -u)" -eq 0 ]; then
    user=vestrel-package-test
    id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
    run_as=(runuser -u "$user" --)
fi
home="$work/home"
mkdir -p "$home/docs" "$work/run" && echo "kept" >"$home/docs/payload.txt"
chmod 700 "$work/run" && chown -R "$user" "$home" "$work/run"
as_user=("${run_as[@]}" env -i PATH=/usr/bin:/bin HOME="$home" LC_ALL=C.UTF-8 XDG_DATA_HOME="$home/data"
         XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$work/run")
"${as_user[@]}" "$root/usr/bin/vestrel" 2>"$work/log" &
pid=$!
db="$home/data/vestrel/vestrel.mdb"
# Read only: a query on a database not yet there would create an empty one in the program's place.
wait_for 20 "${as_user[@]}" sqlite3 -readonly "$db" 'select count(*) from files' >/dev/null ||
    fail "no database in the data folder: $(cat "$work/log")"
# Due this minute, or the next when this one is nearly over.
due="$(date -d "@$((($(date +%s) + 5) / 60 * 60))" '+%Y-%m-%d %H:%M:%S')"
"${as_user[@]}" sqlite3 -cmd '.timeout 5000' "$db" "insert into Tasks (Name, date, ntime, Freq) values
    ('package test', '$due', '$due', 0); insert into files values (last_insert_rowid(), '$home/docs');"
archive() { compgen -G "$home/Backups/Vestrel/*.zip" >/dev/null; }
wait_for 90 archive || fail "no archive in ~/Backups/Vestrel: $(cat "$work/log")"
/usr/bin/python3 -m zipfile -l "$home"/Backups/Vestrel/*.zip | grep -q 'docs/payload.txt' ||
    fail "the archive lacks the session's file"
