#!/usr/bin/env bash
# Builds Vestrel and runs every benchmark (or those named: ftp, s3, backup, schedule, retention).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh bench
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
for name in ${@:-ftp s3 backup schedule retention}; do
    if [ -x "bench/$name/run.sh" ]; then
        echo "== $name"
        "bench/$name/run.sh" build
    fi
done
