#!/usr/bin/env bash
# Uploads and downloads a large file (1 GB unless SIZE_MB says otherwise) through cFTP and
# through the curl tool against the same local servers, over SFTP (OpenSSH's sshd, key log-on)
# and over FTP with explicit TLS (pyftpdlib), ROUNDS times each (3 unless set), alternating who
# goes first, and prints the medians and their ratio (KINDS="sftp ftpes" picks the kinds). Target: cFTP within 10 % of curl.
# Usage: bench/ftp/secure.sh BUILD_DIR
set -euo pipefail

source "$(dirname "$0")/common.sh" "${1:-}" secure-bench 3
mkdir -p "$work/ssh"

free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# sshd with its own host key and configuration, serving SFTP into $work/home.
ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/id_ed25519"
ssh_port=$(free_port)
mkdir -p /run/sshd
cat >"$work/sshd_config" <<CONF
Port $ssh_port
ListenAddress 127.0.0.1
HostKey $work/host_key
PidFile none
AuthorizedKeysFile $work/ssh/id_ed25519.pub
StrictModes no
PermitRootLogin yes
UsePAM no
Subsystem sftp internal-sftp
ForceCommand internal-sftp -d $work/home
CONF
/usr/sbin/sshd -D -e -f "$work/sshd_config" 2>"$work/sshd.log" &
pids+=($!)
echo "[127.0.0.1]:$ssh_port $(cut -d' ' -f1-2 "$work/host_key.pub")" >"$work/ssh/known_hosts"

# pyftpdlib with TLS and a certificate made here.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost -keyout "$work/tls.pem" \
    -out "$work/tls.pem" 2>/dev/null
start_ftp_server --tls explicit --certfile "$work/tls.pem"
for _ in $(seq 100); do
    [ -s "$work/port" ] && grep -q "listening" "$work/sshd.log" 2>/dev/null && break
    sleep 0.1
done
ftp_port=$(head -n1 "$work/port")
fingerprint=$(openssl x509 -noout -fingerprint -sha256 -in "$work/tls.pem" | cut -d= -f2)
export BENCH_SSH_FOLDER="$work/ssh" BENCH_TLS_FINGERPRINT="$fingerprint"
me=$(id -un)

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# kind: sftp or ftpes. Each call prints one line per direction.
bench_kind() {
    local kind=$1 ours_up=() curl_up=() ours_down=() curl_down=() host port auth curlurl
    if [ "$kind" = sftp ]; then
        host="sftp://127.0.0.1" port=$ssh_port
        auth=("$me" "")
        curlurl="sftp://127.0.0.1:$ssh_port$work/home"
        curlauth=(-u "$me:" --key "$work/ssh/id_ed25519" --pubkey "$work/ssh/id_ed25519.pub" -k)
        remote="$work/home"
    else
        host="ftpes://127.0.0.1" port=$ftp_port
        auth=("$user" "$password")
        curlurl="ftp://127.0.0.1:$ftp_port"
        # TLS 1.2 as cFTP speaks it: this curl loses upload data over TLS 1.3.
        curlauth=(-u "$user:$password" --ssl-reqd --tls-max 1.2 -k)
        remote=""
    fi
    for round in $(seq 0 $((rounds - 1))); do
        for side in $( ((round % 2 == 0)) && echo "curl ours" || echo "ours curl"); do
            if [ "$side" = curl ]; then
                curl_up+=("$(seconds curl -sS "${curlauth[@]}" -T "$work/payload.bin" "$curlurl/up-curl.bin")")
                curl_down+=("$(seconds curl -sS "${curlauth[@]}" -o "$work/down-curl.bin" "$curlurl/payload.bin")")
            else
                ours_up+=("$(seconds "$tool" put "$host" "$port" "${auth[@]}" "$work/payload.bin" "$remote/up-cftp.bin")")
                ours_down+=("$(seconds "$tool" get "$host" "$port" "${auth[@]}" "$work/down-cftp.bin" "$remote/payload.bin")")
            fi
        done
        for f in home/up-curl.bin home/up-cftp.bin down-curl.bin down-cftp.bin; do check_same "$work/$f"; done
    done
    for dir in up down; do
        local -n o="ours_$dir" c="curl_$dir"
        awk -v k="$kind" -v d="$dir" -v o="$(median "${o[@]}")" -v c="$(median "${c[@]}")" -v mb="$size_mb" 'BEGIN {
            r = o / c
            printf "%-6s %-4s %d MB  cFTP %.2f s (%.0f MB/s)  curl %.2f s (%.0f MB/s)  ratio %.2f %s\n",
                k, d, mb, o, mb / o, c, mb / c, r, (r <= 1.10 ? "(within 10 %: yes)" : "(within 10 %: NO)") }'
    done
}

echo "$rounds rounds each, medians; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for kind in ${KINDS:-sftp ftpes}; do bench_kind "$kind"; done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
