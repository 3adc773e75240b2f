#!/usr/bin/env bash
# Scheduler benchmarks. $1: the build directory.
#  1. In process: median time of one tick over 1,000 sessions, bytes written while nothing is due.
#  2. The tick on a 300 ms timer in a Qt event loop, as the program runs it: CPU time.
#  3. The whole program without a display, idle for 60 s over the same kind of session table:
#     CPU time from /proc/<pid>/stat, and whether the database file was written.
set -euo pipefail
BUILD=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
BENCH="$BUILD/bench/schedule/schedule_bench"
SECONDS_IDLE=${SECONDS_IDLE:-60}

echo "-- tick"
"$BENCH" tick

echo "-- tick on its 300 ms timer, in process (${SECONDS_IDLE} s)"
"$BENCH" loop "$SECONDS_IDLE"

echo "-- idle program (${SECONDS_IDLE} s, no display)"
if [ ! -x "$BUILD/vestrel" ]; then
    echo "no $BUILD/vestrel: build it first" >&2
    exit 1
fi
work=$(mktemp -d)
pid=
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid"
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
cp "$BUILD/vestrel" "$work/"
"$BENCH" make-db "$work/vestrel.mdb"
mkdir -p "$work/config"

late_sessions() {
    # Daily sessions left a day late by make-db; a running scheduler moves them on at once.
    sqlite3 "$work/vestrel.mdb" \
        "select count(*) from Tasks where Freq=1 and Days=127 and ntime < datetime('now','localtime','-1 minutes')"
}
cpu_ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'; }
digest() { sha256sum "$work/vestrel.mdb" | cut -d' ' -f1; }

late_before=$(late_sessions)
(cd "$work" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    XDG_CONFIG_HOME="$work/config" ./vestrel 2>"$work/stderr.log") &
pid=$!
# Let start-up finish and the first ticks move the late sessions on.
sleep 3
if ! kill -0 "$pid" 2>/dev/null; then
    echo "vestrel ended early:" >&2
    cat "$work/stderr.log" >&2
    exit 1
fi
late_after=$(late_sessions)
if [ "$late_after" -ge "$late_before" ] && [ "$late_before" -gt 0 ]; then
    echo "note: the late sessions were not moved on: the program does not run the scheduler tick yet"
fi

hz=$(getconf CLK_TCK)
cpu0=$(cpu_ticks "$pid")
sum0=$(digest)
sleep "$SECONDS_IDLE"
cpu1=$(cpu_ticks "$pid")
sum1=$(digest)
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=

awk -v d=$((cpu1 - cpu0)) -v hz="$hz" -v s="$SECONDS_IDLE" \
    'BEGIN { printf "idle CPU: %.3f s in %d s = %.2f %% of one core  [target < 1 %%]\n", d / hz, s, 100 * d / hz / s }'
if [ "$sum0" = "$sum1" ] && [ ! -e "$work/vestrel.mdb-journal" ]; then
    echo "database file while idle: unchanged  [target: no bytes written]"
else
    echo "database file while idle: CHANGED"
fi
echo "late sessions moved on by the program: $((late_before - late_after)) of $late_before"
