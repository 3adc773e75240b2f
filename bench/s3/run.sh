#!/usr/bin/env bash
# Uploads a large file (1 GB unless SIZE_MB says otherwise) to a local s3rver through cFTP and
# through the curl tool (curl --aws-sigv4 -T), ROUNDS times (4 unless set), alternating who goes
# first, and prints each side's median and the ratio of the medians. Target: cFTP within 1.2x
# of curl. curl 7.88 does not add the payload hash header S3 wants, so both send it as
# UNSIGNED-PAYLOAD. Usage: bench/s3/run.sh BUILD_DIR
set -euo pipefail

source "$(dirname "$0")/../ftp/common.sh" "${1:-}" s3-bench 4
prefix="$build/tests/s3rver"
script="$prefix/node_modules/s3rver/bin/s3rver.js"
[ -f "$script" ] || npm install --no-audit --no-fund --prefix "$prefix" s3rver@3.7.1 >/dev/null
node --openssl-legacy-provider "$script" -s -d "$work/s3" -a 127.0.0.1 -p 0 \
    --configure-bucket bench >"$work/log" 2>&1 &
pids+=($!)
port=""
for _ in $(seq 100); do
    port=$(sed -n 's/.*listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/log")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "FAILED: s3rver did not start: $(cat "$work/log")" >&2; exit 1; }

declare -a ours theirs
up() {
    if [ "$1" = curl ]; then
        theirs+=("$(seconds curl -sS --fail --aws-sigv4 "aws:amz:us-east-1:s3" \
            --user S3RVER:S3RVER -H "x-amz-content-sha256: UNSIGNED-PAYLOAD" \
            -T "$work/payload.bin" "http://127.0.0.1:$port/bench/up-curl.bin")")
    else
        ours+=("$(seconds "$tool" put "s3+http://127.0.0.1:$port/bench" 21 S3RVER S3RVER \
            "$work/payload.bin" up-cftp.bin)")
    fi
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq 0 $((rounds - 1))); do
    if ((round % 2 == 0)); then up curl; up cftp; else up cftp; up curl; fi
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
for name in up-curl up-cftp; do
    check_same "$work/s3/bench/$name.bin._S3rver_object"
done

median() {
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END {
        printf "%.3f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
o=$(median "${ours[@]}")
t=$(median "${theirs[@]}")
awk -v o="$o" -v t="$t" -v mb="$size_mb" -v n="$rounds" 'BEGIN { r = o / t
    printf "upload %d MB to s3rver, %d rounds: cFTP median %.3f s, curl median %.3f s, ratio %.2f %s\n",
        mb, n, o, t, r, (r <= 1.2 ? "(within 1.2x: yes)" : "(within 1.2x: NO)") }'
echo "cFTP: ${ours[*]}"
echo "curl: ${theirs[*]}"
