#!/usr/bin/env bash
# Retention benchmark: the step of a run that deletes archives beyond Keep 30 on the loopback
# test FTP server (tests/support/ftp_server.py), timed from the run's log. Target: under 1 s.
# Usage: bench/retention/run.sh BUILD_DIR   (ROUNDS: runs measured, default 5)
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
bench="$build/bench/retention/vestrel_retention_bench"
[ -x "$bench" ] || { echo "build $bench first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The benchmark keeps its options and archives in its own folders, never the user's.
env XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" HOME="$work" \
    "$bench" "${ROUNDS:-5}"
