#!/usr/bin/env bash
# Builds Vestrel and its tests into build/ and runs the whole suite.
# VESTREL_WERROR=ON turns compiler warnings into errors (CI sets it).
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVESTREL_WERROR="${VESTREL_WERROR:-OFF}" >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j2 "$@"
