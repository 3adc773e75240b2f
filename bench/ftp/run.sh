#!/usr/bin/env bash
# Uploads and downloads a large file (1 GB unless SIZE_MB says otherwise) through cFTP and
# through the curl tool (curl -T, curl -o) against the same local FTP server, ROUNDS times
# (8 unless set), and prints each side's median, fastest and slowest time and the ratio of the
# medians. Target: cFTP within 10 % of curl.
#
# What ran just before a transfer changes its time (dirty pages still being written, memory
# just freed or not), so the rounds rotate through every order: who goes first, and whether the
# uploads or the downloads come first. Downloads overwrite the previous round's file, as a user
# fetching a file again does. Usage: bench/ftp/run.sh BUILD_DIR
set -euo pipefail

source "$(dirname "$0")/common.sh" "${1:-}" ftp-bench 8
start_ftp_server
for _ in $(seq 100); do
    [ -s "$work/port" ] && break
    sleep 0.1
done
port=$(head -n1 "$work/port")
[ -n "$port" ] || { echo "FAILED: the FTP server did not start" >&2; exit 1; }
url="ftp://127.0.0.1:$port"

declare -a up_cftp up_curl down_cftp down_curl
up() {
    if [ "$1" = curl ]; then
        up_curl+=("$(seconds curl -sS -u "$user:$password" -T "$work/payload.bin" \
            "$url/up-curl.bin")")
    else
        up_cftp+=("$(seconds "$tool" put 127.0.0.1 "$port" "$user" "$password" \
            "$work/payload.bin" up-cftp.bin)")
    fi
}
down() {
    if [ "$1" = curl ]; then
        down_curl+=("$(seconds curl -sS -u "$user:$password" -o "$work/down-curl.bin" \
            "$url/payload.bin")")
    else
        down_cftp+=("$(seconds "$tool" get 127.0.0.1 "$port" "$user" "$password" \
            "$work/down-cftp.bin" payload.bin)")
    fi
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq 0 $((rounds - 1))); do
    # Round r: bit 0 picks who goes first, bit 1 whether downloads come before uploads.
    if ((round % 2 == 0)); then sides=(curl cftp); else sides=(cftp curl); fi
    if (((round / 2) % 2 == 0)); then steps=(up down); else steps=(down up); fi
    for step in "${steps[@]}"; do
        "$step" "${sides[0]}"
        "$step" "${sides[1]}"
    done
    check_same "$work/home/up-curl.bin"
    check_same "$work/home/up-cftp.bin"
    check_same "$work/down-cftp.bin"
    check_same "$work/down-curl.bin"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

# "median fastest slowest" of the times given.
spread() {
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END {
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%.3f %.3f %.3f", m, v[1], v[NR] }'
}

report() {
    local what=$1 against=$2 ours theirs
    ours=$(spread "${@:3:rounds}")
    theirs=$(spread "${@:3+rounds:rounds}")
    awk -v w="$what" -v a="$against" -v o="$ours" -v t="$theirs" -v mb="$size_mb" 'BEGIN {
        split(o, x, " "); split(t, y, " "); r = x[1] / y[1]
        printf "%-8s %d MB  cFTP median %.3f s (%.3f-%.3f, %.0f MB/s)   %s median %.3f s (%.3f-%.3f, %.0f MB/s)   ratio %.2f %s\n",
            w, mb, x[1], x[2], x[3], mb / x[1], a, y[1], y[2], y[3], mb / y[1], r,
            (r <= 1.10 ? "(within 10 %: yes)" : "(within 10 %: NO)")
    }'
}

echo "$rounds rounds, local pyftpdlib server on port $port; times in s, fastest-slowest in brackets"
report upload "curl -T" "${up_cftp[@]}" "${up_curl[@]}"
report download "curl -o" "${down_cftp[@]}" "${down_curl[@]}"
for i in $(seq 0 $((rounds - 1))); do
    printf 'round %d: up cFTP %s curl %s, down cFTP %s curl %s\n' "$i" "${up_cftp[$i]}" \
        "${up_curl[$i]}" "${down_cftp[$i]}" "${down_curl[$i]}"
done
