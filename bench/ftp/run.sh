#!/usr/bin/env bash
# Uploads and downloads a 200 MB file through cFTP and through the curl tool (curl -T, curl -o)
# against the same local FTP server, and prints the times and their ratio. Target: cFTP within
# 10 % of curl. Usage: bench/ftp/run.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
tool="$build/bench/ftp/bench_ftp_transfer"
size_mb=200
rounds=5
user=bench
password=bench-pass-200

work=$(mktemp -d)
server_pid=
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/home"
head -c "${size_mb}M" /dev/urandom >"$work/payload.bin"
cp "$work/payload.bin" "$work/home/payload.bin"

# pyftpdlib is Debian's: a python3 earlier on PATH may lack it.
/usr/bin/python3 "$root/tests/support/ftp_server.py" --home "$work/home" --user "$user" \
    --password "$password" >"$work/port" &
server_pid=$!
for _ in $(seq 100); do
    [ -s "$work/port" ] && break
    sleep 0.1
done
port=$(head -n1 "$work/port")
url="ftp://127.0.0.1:$port"

seconds() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }'
}

median() {
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

check_same() {
    cmp -s "$work/payload.bin" "$1" || { echo "FAILED: $1 differs from the payload" >&2; exit 1; }
}

declare -a up_cftp up_curl down_cftp down_curl
for _ in $(seq "$rounds"); do
    # Alternating who goes first keeps page-cache effects from favouring one side.
    up_curl+=("$(seconds curl -sS -u "$user:$password" -T "$work/payload.bin" "$url/up-curl.bin")")
    up_cftp+=("$(seconds "$tool" put 127.0.0.1 "$port" "$user" "$password" \
        "$work/payload.bin" up-cftp.bin)")
    down_cftp+=("$(seconds "$tool" get 127.0.0.1 "$port" "$user" "$password" \
        "$work/down-cftp.bin" payload.bin)")
    down_curl+=("$(seconds curl -sS -u "$user:$password" -o "$work/down-curl.bin" \
        "$url/payload.bin")")
    check_same "$work/home/up-curl.bin"
    check_same "$work/home/up-cftp.bin"
    check_same "$work/down-cftp.bin"
    check_same "$work/down-curl.bin"
done

report() {
    local what=$1 ours=$2 theirs=$3 against=$4
    awk -v w="$what" -v o="$ours" -v t="$theirs" -v a="$against" -v mb="$size_mb" 'BEGIN {
        r = o / t
        printf "%-8s %d MB: cFTP %.3f s (%.0f MB/s), %s %.3f s (%.0f MB/s), ratio %.3f %s\n",
            w, mb, o, mb / o, a, t, mb / t, r, (r <= 1.10 ? "(within 10 %: yes)" : "(within 10 %: NO)")
    }'
}

echo "median of $rounds rounds, local pyftpdlib server on port $port"
report upload "$(median "${up_cftp[@]}")" "$(median "${up_curl[@]}")" "curl -T"
report download "$(median "${down_cftp[@]}")" "$(median "${down_curl[@]}")" "curl -o"
