#!/usr/bin/env bash
# Fails when a source file includes a header from a folder its own folder may not use, or when
# the core includes Qt Widgets. The arrows point one way: common <- store <- ftp, backup,
# schedule <- ui <- app (ftp needs only common; backup uses ftp).
set -euo pipefail
src="${1:-$(dirname "$0")/../src}"
declare -A allowed=(
    [common]="common"
    [store]="common store"
    [ftp]="common ftp"
    [backup]="common store ftp backup"
    [schedule]="common store schedule"
    [ui]="common store ftp backup schedule ui"
    [app]="common store ftp backup schedule ui app"
)
core="common store ftp backup schedule"
status=0
while IFS= read -r -d '' file; do
    folder="${file#"$src"/}"
    folder="${folder%%/*}"
    [ -n "${allowed[$folder]+set}" ] || { echo "$file: folder '$folder' has no place in the layers"; status=1; continue; }
    while IFS= read -r line; do
        target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"$line")
        if [[ "$target" == *..* ]]; then
            echo "$file: $line (reaches out with ..)"; status=1; continue
        fi
        [[ "$target" == */* ]] || continue # a header beside the file
        used="${target%%/*}"
        if [[ " ${allowed[$folder]} " != *" $used "* ]]; then
            echo "$file: $line ($folder may not use $used)"; status=1
        fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
    if [[ " $core " == *" $folder "* ]] &&
        grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(QtWidgets/|Q(Widget|Application|MessageBox|Dialog|MainWindow|SystemTrayIcon|Menu|PushButton|FileDialog)>)' "$file"; then
        echo "$file: the core includes Qt Widgets"; status=1
    fi
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
exit $status
