# Shared by the FTP benchmarks, sourced as: source common.sh BUILD_DIR WORK_NAME ROUNDS.
# Sets build, root, tool, size_mb, rounds (ROUNDS from the environment wins), user, password
# and work, which holds payload.bin and home/ (the servers' folder, with a copy of it); every
# process in pids is stopped and work removed on exit.
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tool="$build/bench/ftp/bench_ftp_transfer"
size_mb=${SIZE_MB:-1024}
rounds=${ROUNDS:-$3}
user=bench
password=bench-pass-200

# Beside the build, on the disk the program writes to (/tmp may be a memory file system).
work=$(mktemp -d "$build/$2.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/home"
head -c "${size_mb}M" /dev/urandom >"$work/payload.bin"
cp "$work/payload.bin" "$work/home/payload.bin"
sync

# pyftpdlib on home/ with the options given; it prints its port into $work/port once it listens.
# pyftpdlib is Debian's: a python3 earlier on PATH may lack it.
start_ftp_server() {
    /usr/bin/python3 "$root/tests/support/ftp_server.py" --home "$work/home" --user "$user" \
        --password "$password" "$@" >"$work/port" &
    pids+=($!)
}

seconds() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }'
}

check_same() {
    cmp -s "$work/payload.bin" "$1" || { echo "FAILED: $1 differs from the payload" >&2; exit 1; }
}
